#include "batch/FleetTable.h"

#include <algorithm>
#include <array>
#include <map>

#include "batch/ConfigCheck.h"
#include "batch/CsvRecords.h"
#include "batch/TableCells.h"
#include "port/PortNeighbours.h"
#include "protocol/ControlChars.h"
#include "protocol/Trimmed.h"
#include "protocol/WholeNumber.h"
#include "settings/ConfigFile.h"

namespace kestrun::batch {

namespace {

// Reads one table: the file's text, its header, and each row, with a
// problem named by file, line and column for each thing wrong.
class CTableReader {
 public:
  CTableReader(const std::string& path, FleetTable& table, std::vector<std::string>& problems)
      : path_(path), table_(table), problems_(problems) {}

  // The records of a CSV text in UTF-8; false when the file cannot be one,
  // or when `stop` turned true while it was split.
  bool ReadRecords(std::vector<CsvRecord>& records, const std::atomic<bool>* stop) {
    std::string text, problem;
    if (!ReadTableFile(path_, text, problem)) return Refuse(problem);
    if (text.rfind("\xFF\xFE", 0) == 0 || text.rfind("\xFE\xFF", 0) == 0)
      return Refuse(path_ + ": saved as UTF-16: save it as CSV in UTF-8");
    if (HoldsBinaryData(text)) return Refuse(path_ + ": not a CSV table (it holds binary data)");
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    table_.delimiter = DetectDelimiter(text);
    if (CsvSplitError split; !SplitRecords(text, table_.delimiter, records, split, stop))
      return Refuse(path_ + ":" + std::to_string(split.line) +
                    (split.column > 0 ? ":" + std::to_string(split.column) : std::string()) + ": " +
                    split.why);
    if (StoppedReading(stop, path_, problems_)) return false;
    if (records.empty()) return Refuse(path_ + ": the table is empty (no header line)");
    return true;
  }

  // The header: one key column at most, each value column once, an address
  // as one dotted column or as its octets, not both.
  void ReadHeader(const CsvRecord& header, const std::set<std::string>& templateSections) {
    const std::size_t before = problems_.size();
    std::set<std::string> seen;
    for (const std::string& cell : header.cells) {
      TableColumn column{TableColumn::Kind::Value, Trimmed(cell), nullptr};
      const std::string lower = Lower(column.name);
      if (lower == "imei" || lower == "com") {
        column.name = lower == "imei" ? "IMEI" : "COM";
        if (keyColumn_ >= 0) {
          Complain(header.line, column.name, "a second key column (a table has one: IMEI or COM)");
        } else {
          keyColumn_ = static_cast<int>(columns_.size());
          table_.keyKind = lower == "imei" ? FleetTable::KeyKind::Imei : FleetTable::KeyKind::Com;
        }
      } else if (const std::string why = ColumnProblem(Trimmed(cell), templateSections, column);
                 !why.empty()) {
        Complain(header.line, column.name.empty() ? "(no name)" : column.name, why);
      }
      if (!seen.insert(column.name).second) Complain(header.line, column.name, "is named twice");
      columns_.push_back(column);
      table_.columns.push_back(column.name);
    }
    // Each octet column of an address also given dotted is named once: a
    // header repeating both would otherwise make a complaint per pair.
    std::map<int, const TableColumn*> dottedOf;  // the address's id: its dotted column
    for (const TableColumn& c : columns_)
      if (c.kind == TableColumn::Kind::Address && c.key) dottedOf.emplace(c.key->id, &c);
    std::set<std::string> octetsSaid;
    for (const TableColumn& octet : columns_) {
      if (octet.kind != TableColumn::Kind::Value || !octet.key) continue;
      const auto dotted = dottedOf.find(octet.key->id);
      if (dotted == dottedOf.end() || !octetsSaid.insert(octet.name).second) continue;
      const std::string& name = dotted->second->name;
      Complain(header.line, name,
               "and " + octet.name + " name the same address: give it either as " + name + " (a.b.c.d) or as " +
                   name + "1 to " + name + "4");
    }
    if (std::none_of(columns_.begin(), columns_.end(), [](const TableColumn& c) { return c.key; }) &&
        problems_.size() == before)
      problems_.push_back(path_ + ":" + std::to_string(header.line) +
                          ": no SECTION/Key column, so no value to set");
  }

  // Rows are keyed by the tracker they reach: two spellings of one port
  // (COM37, /dev/ttyUSB4, a /dev/serial/by-id/ name of it) are one key.
  void KnowPorts(const DiscoveryPaths& discovery) {
    if (table_.keyKind != FleetTable::KeyKind::Com) return;
    for (const PortEntry& port : DiscoverPorts(discovery))
      deviceOfCom_["COM" + std::to_string(port.number)] = ResolveDevice(port.openPath);
  }

  void ReadRow(const CsvRecord& record) {
    if (record.cells.size() != columns_.size()) {
      problems_.push_back(path_ + ":" + std::to_string(record.line) + ": " +
                          std::to_string(record.cells.size()) + " cells, but the header has " +
                          std::to_string(columns_.size()) +
                          " (a delimiter inside a value needs quotes around it)");
      return;
    }
    FleetTable::Row row;
    row.line = record.line;
    row.cellsText = record.text;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      const TableColumn& column = columns_[c];
      const std::string& cell = record.cells[c];
      if (const char32_t hidden = HiddenControl(cell)) {
        if (static_cast<int>(c) != keyColumn_ && column.key) {
          RefuseCell(row, column, HiddenControlWhy(hidden));
          row.values.emplace_back(column.name, cell);
        } else {
          Complain(record.line, column.name, HiddenControlWhy(hidden));
        }
      } else if (static_cast<int>(c) == keyColumn_) {
        ReadKey(record.line, column, cell, row);
      } else if (column.kind == TableColumn::Kind::Note) {
        if (!cell.empty()) row.notes.emplace_back(column.name, cell);
      } else if (column.key && !cell.empty()) {
        ReadValue(record.line, column, cell, row);
      }
    }
    table_.rows.push_back(std::move(row));
  }

 private:
  bool Refuse(const std::string& problem) {
    problems_.push_back(problem);
    return false;
  }
  void Complain(int line, const std::string& column, const std::string& why) {
    problems_.push_back(path_ + ":" + std::to_string(line) + ": column " + ShownText(column) + ": " + why);
  }
  // A value cell that is wrong, kept in the row all the same.
  void RefuseCell(FleetTable::Row& row, const TableColumn& column, const std::string& why) {
    Complain(row.line, column.name, why);
    row.refused.push_back(column.name);
  }
  std::string IdentityOf(const std::string& key) const {
    if (table_.keyKind != FleetTable::KeyKind::Com) return key;
    if (key[0] == '/') return ResolveDevice(key);
    const auto found = deviceOfCom_.find(key);
    return found == deviceOfCom_.end() ? key : found->second;
  }

  void ReadKey(int line, const TableColumn& column, const std::string& cell, FleetTable::Row& row) {
    if (const std::string why = KeyProblem(table_.keyKind, cell, row.key); !why.empty()) {
      Complain(line, column.name, why);
      return;
    }
    const auto [at, added] = keyLines_.emplace(IdentityOf(row.key), std::make_pair(line, row.key));
    if (added) return;
    const auto& [earlier, written] = at->second;
    Complain(line, column.name,
             written == row.key
                 ? QuotedValue(row.key) + " is the key of line " + std::to_string(earlier) + " as well"
                 : QuotedValue(row.key) + " is the port of line " + std::to_string(earlier) + " (" +
                       QuotedValue(written) + ") as well: both name " + EscapeControlBytes(at->first));
  }

  // A value cell, its spaces (and a phone number's separators) removed with
  // a note; a dotted address fills the four octets.
  void ReadValue(int line, const TableColumn& column, const std::string& cell, FleetTable::Row& row) {
    const std::string value = Tidied(*column.key, cell);
    if (value != cell)
      row.tidied.push_back(path_ + ":" + std::to_string(line) + ": column " +
                           EscapeControlBytes(column.name) + ": " +
                           (IsSecretKey(*column.key) ? "spaces removed (a secret: its value is not shown)"
                                                     : QuotedValue(cell) + " -> " + QuotedValue(value)));
    if (column.kind == TableColumn::Kind::Address) {
      std::array<int, 4> octets{};
      if (const std::string why = AddressProblem(value, octets); !why.empty()) {
        Complain(line, column.name, why);
        return;
      }
      for (int i = 0; i < 4; ++i) {
        const ConfigKey& octet = OctetKey(*column.key, i);
        row.values.emplace_back(std::string(octet.section) + "/" + octet.key, std::to_string(octets[i]));
      }
      return;
    }
    if (const std::string why = ValueProblem(*column.key, value); !why.empty()) RefuseCell(row, column, why);
    row.values.emplace_back(column.name, value);
  }

  const std::string& path_;
  FleetTable& table_;
  std::vector<std::string>& problems_;
  std::vector<TableColumn> columns_;
  int keyColumn_ = -1;
  std::map<std::string, std::string> deviceOfCom_;
  std::map<std::string, std::pair<int, std::string>> keyLines_;  // identity: line and key as written
};

}  // namespace

bool LoadFleetTable(const std::string& path, const std::set<std::string>& templateSections, FleetTable& table,
                    std::vector<std::string>& problems, const DiscoveryPaths& discovery,
                    const std::atomic<bool>* stop) {
  table = FleetTable();
  const std::size_t problemsBefore = problems.size();
  CTableReader reader(path, table, problems);
  std::vector<CsvRecord> records;
  if (!reader.ReadRecords(records, stop)) return false;
  reader.ReadHeader(records.front(), templateSections);
  reader.KnowPorts(discovery);
  for (std::size_t r = 1; r < records.size(); ++r) {
    if (StoppedReading(stop, path, problems)) return false;
    reader.ReadRow(records[r]);
  }
  if (table.rows.empty() && problems.size() == problemsBefore)
    problems.push_back(path + ": the table has a header but no rows");
  return problems.size() == problemsBefore;
}

bool StoppedReading(const std::atomic<bool>* stop, const std::string& path, std::vector<std::string>& problems) {
  if (!stop || !*stop) return false;
  problems.push_back(path + ": " + kStoppedReading);
  return true;
}

const FleetTable::Row* FindRowByImei(const FleetTable& table, const std::string& imei) {
  if (table.keyKind != FleetTable::KeyKind::Imei) return nullptr;
  for (const FleetTable::Row& row : table.rows)
    if (row.key == imei) return &row;
  return nullptr;
}

const FleetTable::Row* FindRowByPort(const FleetTable& table, int number, const std::string& device) {
  if (table.keyKind != FleetTable::KeyKind::Com) return nullptr;
  const std::string com = number > 0 ? "COM" + std::to_string(number) : "";
  for (const FleetTable::Row& row : table.rows)
    if ((!com.empty() && row.key == com) || (!device.empty() && row.key == device)) return &row;
  return nullptr;
}

void MergeRow(const FleetTable::Row& row, CFormValues& values) {
  for (const auto& [name, value] : row.values) {
    const std::size_t slash = name.find('/');
    const ConfigKey* key = FindConfigKey(name.substr(0, slash), name.substr(slash + 1));
    if (!key || key->id == 0) continue;
    switch (key->encoding) {
      case Encoding::Text: values.Text(key->id) = value; break;
      case Encoding::Flag: values.Number(key->id) = value == "1" ? 1 : 0; break;
      case Encoding::Octet:
        if (IsInteger(value))
          values.Address(key->id)[key->octet] = static_cast<int>(*ParseWhole(value) & 0xFF);
        break;
      case Encoding::Int:
      case Encoding::Index:
        if (IsInteger(value)) values.Number(key->id) = static_cast<int>(*ParseWhole(value));
        break;
    }
  }
}

}  // namespace kestrun::batch
