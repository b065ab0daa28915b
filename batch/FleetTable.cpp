#include "batch/FleetTable.h"

#include <algorithm>
#include <array>
#include <map>

#include "batch/ConfigCheck.h"
#include "batch/CsvRecords.h"
#include "batch/TableCells.h"
#include "port/PortNeighbours.h"
#include "protocol/ControlChars.h"
#include "protocol/WholeNumber.h"
#include "settings/ConfigFile.h"

namespace kestrun::batch {

bool LoadFleetTable(const std::string& path, const std::set<std::string>& templateSections, FleetTable& table,
                    std::vector<std::string>& problems, const DiscoveryPaths& discovery) {
  table = FleetTable();
  const std::size_t problemsBefore = problems.size();
  std::string text, problem;
  if (!ReadTableFile(path, text, problem)) {
    problems.push_back(problem);
    return false;
  }
  if (text.rfind("\xFF\xFE", 0) == 0 || text.rfind("\xFE\xFF", 0) == 0) {
    problems.push_back(path + ": saved as UTF-16: save it as CSV in UTF-8");
    return false;
  }
  if (HoldsBinaryData(text)) {
    problems.push_back(path + ": not a CSV table (it holds binary data)");
    return false;
  }
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);

  auto complain = [&](int line, const std::string& column, const std::string& why) {
    problems.push_back(path + ":" + std::to_string(line) + ": column " + EscapeControlBytes(column) + ": " +
                       why);
  };
  table.delimiter = DetectDelimiter(text);
  std::vector<CsvRecord> records;
  if (CsvSplitError split; !SplitRecords(text, table.delimiter, records, split)) {
    problems.push_back(path + ":" + std::to_string(split.line) +
                       (split.column > 0 ? ":" + std::to_string(split.column) : std::string()) + ": " +
                       split.why);
    return false;
  }
  if (records.empty()) {
    problems.push_back(path + ": the table is empty (no header line)");
    return false;
  }

  // The header: one key column at most, each value column once, an address
  // as one dotted column or as its octets, not both.
  const CsvRecord& header = records.front();
  std::vector<TableColumn> columns;
  int keyColumn = -1;
  std::set<std::string> seen;
  for (const std::string& cell : header.cells) {
    TableColumn column{TableColumn::Kind::Value, Trimmed(cell), nullptr};
    const std::string lower = Lower(column.name);
    if (lower == "imei" || lower == "com") {
      column.name = lower == "imei" ? "IMEI" : "COM";
      if (keyColumn >= 0) {
        complain(header.line, column.name, "a second key column (a table has one: IMEI or COM)");
      } else {
        keyColumn = static_cast<int>(columns.size());
        table.keyKind = lower == "imei" ? FleetTable::KeyKind::Imei : FleetTable::KeyKind::Com;
      }
    } else if (const std::string why = ColumnProblem(Trimmed(cell), templateSections, column); !why.empty()) {
      complain(header.line, column.name.empty() ? "(no name)" : column.name, why);
    }
    if (!seen.insert(column.name).second) complain(header.line, column.name, "is named twice");
    columns.push_back(column);
    table.columns.push_back(column.name);
  }
  for (const TableColumn& dotted : columns) {
    if (dotted.kind != TableColumn::Kind::Address || !dotted.key) continue;
    for (const TableColumn& octet : columns)
      if (octet.kind == TableColumn::Kind::Value && octet.key && octet.key->id == dotted.key->id)
        complain(header.line, dotted.name,
                 "and " + octet.name + " name the same address: give it either as " + dotted.name +
                     " (a.b.c.d) or as " + dotted.name + "1 to " + dotted.name + "4");
  }
  if (std::none_of(columns.begin(), columns.end(), [](const TableColumn& c) { return c.key; }) &&
      problems.size() == problemsBefore)
    problems.push_back(path + ":" + std::to_string(header.line) +
                       ": no SECTION/Key column, so no value to set");

  // Rows are keyed by the tracker they reach: two spellings of one port
  // (COM37, /dev/ttyUSB4, a /dev/serial/by-id/ name of it) are one key.
  std::map<std::string, std::string> deviceOfCom;
  if (table.keyKind == FleetTable::KeyKind::Com)
    for (const PortEntry& port : DiscoverPorts(discovery))
      deviceOfCom["COM" + std::to_string(port.number)] = ResolveDevice(port.openPath);
  auto identityOf = [&](const std::string& key) {
    if (table.keyKind != FleetTable::KeyKind::Com) return key;
    if (key[0] == '/') return ResolveDevice(key);
    const auto found = deviceOfCom.find(key);
    return found == deviceOfCom.end() ? key : found->second;
  };
  std::map<std::string, std::pair<int, std::string>> keyLines;  // identity: line and key as written
  for (std::size_t r = 1; r < records.size(); ++r) {
    const CsvRecord& record = records[r];
    if (record.cells.size() != columns.size()) {
      problems.push_back(path + ":" + std::to_string(record.line) + ": " +
                         std::to_string(record.cells.size()) + " cells, but the header has " +
                         std::to_string(columns.size()) +
                         " (a delimiter inside a value needs quotes around it)");
      continue;
    }
    FleetTable::Row row;
    row.line = record.line;
    row.cellsText = record.text;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      const TableColumn& column = columns[c];
      const std::string& cell = record.cells[c];
      if (const char32_t hidden = HiddenControl(cell)) {
        complain(record.line, column.name, HiddenControlWhy(hidden));
        if (static_cast<int>(c) != keyColumn && column.key) row.values.emplace_back(column.name, cell);
      } else if (static_cast<int>(c) == keyColumn) {
        if (const std::string why = KeyProblem(table.keyKind, cell, row.key); !why.empty()) {
          complain(record.line, column.name, why);
        } else if (const auto [at, added] =
                       keyLines.emplace(identityOf(row.key), std::make_pair(record.line, row.key));
                   !added) {
          const auto& [line, earlier] = at->second;
          complain(record.line, column.name,
                   earlier == row.key
                       ? Shown(row.key) + " is the key of line " + std::to_string(line) + " as well"
                       : Shown(row.key) + " is the port of line " + std::to_string(line) + " (" +
                             Shown(earlier) + ") as well: both name " + EscapeControlBytes(at->first));
        }
      } else if (column.kind == TableColumn::Kind::Note) {
        if (!cell.empty()) row.notes.emplace_back(column.name, cell);
      } else if (column.key && !cell.empty()) {
        const std::string value = Tidied(*column.key, cell);
        if (value != cell)
          row.tidied.push_back(path + ":" + std::to_string(record.line) + ": column " +
                               EscapeControlBytes(column.name) + ": " +
                               (IsSecretKey(*column.key) ? "spaces removed (a secret: its value is not shown)"
                                                         : Shown(cell) + " -> " + Shown(value)));
        if (column.kind == TableColumn::Kind::Address) {
          std::array<int, 4> octets{};
          if (const std::string why = AddressProblem(value, octets); !why.empty()) {
            complain(record.line, column.name, why);
            continue;
          }
          for (int i = 0; i < 4; ++i) {
            const ConfigKey& octet = OctetKey(*column.key, i);
            row.values.emplace_back(std::string(octet.section) + "/" + octet.key, std::to_string(octets[i]));
          }
          continue;
        }
        if (const std::string why = ValueProblem(*column.key, value); !why.empty())
          complain(record.line, column.name, why);
        row.values.emplace_back(column.name, value);
      }
    }
    table.rows.push_back(std::move(row));
  }
  if (table.rows.empty() && problems.size() == problemsBefore)
    problems.push_back(path + ": the table has a header but no rows");
  return problems.size() == problemsBefore;
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
