#include "batch/FleetTable.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>

#include "batch/Compare.h"
#include "batch/ConfigCheck.h"
#include "port/PortNeighbours.h"
#include "port/SystemError.h"
#include "protocol/ControlChars.h"
#include "protocol/Identity.h"
#include "protocol/ValueRules.h"
#include "protocol/WholeNumber.h"
#include "settings/ConfigFile.h"

namespace kestrun::batch {

namespace {

const char* const kSpreadsheetNumber = "a spreadsheet turned it into a number: format the column as text";

// Cells a spreadsheet writes in place of a value it could not compute: the
// value was typed as (or taken for) a formula.
constexpr const char* kFormulaErrors[] = {"#NAME?", "#VALUE!", "#REF!",  "#N/A",
                                          "#NUM!",  "#DIV/0!", "#NULL!", "Err:"};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// "8.6E+14", "8,6E+14": how a spreadsheet shows a long number in a general cell.
bool IsExponentForm(const std::string& text) {
  static const std::regex exponent("[0-9]+([.,][0-9]+)?[eE][+-]?[0-9]+");
  return std::regex_match(text, exponent);
}

bool IsFormulaDamage(const std::string& text) {
  if (!text.empty() && text[0] == '=') return true;
  return std::any_of(std::begin(kFormulaErrors), std::end(kFormulaErrors),
                     [&](const char* error) { return text.rfind(error, 0) == 0; });
}

// A value as a message may show it: control bytes escaped.
std::string Shown(const std::string& value) { return "'" + EscapeControlBytes(value) + "'"; }

// One record of the file: its cells, the line it starts on and its text.
struct Record {
  int line = 0;
  std::vector<std::string> cells;
  std::string text;
};

// Where and why the text could not be split into cells: `line` and `column`
// (1-based, the column counted in bytes of that line).
struct SplitError {
  int line = 0;
  int column = 0;
  std::string why;
};

// Splits `text` into records: `delimiter` between cells, quoted cells with
// doubled quotes inside, CRLF, LF or CR between records (inside quotes they
// belong to the cell). Records of nothing but empty cells are left out.
// False when a quote stands inside a cell that does not start with one, when
// text follows a cell's closing quote, or when a quote is still open at the
// end: a spreadsheet writes none of these, and reading on would guess at the
// cell's value.
bool SplitRecords(const std::string& text, char delimiter, std::vector<Record>& records, SplitError& error) {
  Record record{1, {""}, ""};
  int line = 1;
  std::size_t lineStart = 0;  // where the current line begins in `text`
  bool quoted = false, quotedCell = false, closed = false;
  std::size_t start = 0;
  auto finish = [&](std::size_t end) {
    record.text = text.substr(start, end - start);
    const bool blank = std::all_of(record.cells.begin(), record.cells.end(),
                                   [](const std::string& c) { return Trimmed(c).empty(); });
    if (!blank || quotedCell) records.push_back(record);
    record = Record{line, {""}, ""};
    quotedCell = false;
  };
  auto refuse = [&](std::size_t at, const char* why) {
    error = {line, static_cast<int>(at - lineStart) + 1, why};
    return false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool lineEnd = c == '\r' || c == '\n';
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        record.cells.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
        closed = true;
      } else {
        if (c == '\n' || (c == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
          ++line;
          lineStart = i + 1;
        }
        record.cells.back() += c;
      }
    } else if (closed && c != delimiter && !lineEnd) {
      return refuse(i, "text after the closing quote of a cell (a quoted cell ends at its delimiter)");
    } else if (c == '"' && record.cells.back().empty()) {
      quoted = quotedCell = true;
    } else if (c == '"') {
      return refuse(i,
                    "a quote inside a cell that does not start with one (quote the whole cell and double "
                    "the quote: \"a\"\"b\")");
    } else if (c == delimiter) {
      record.cells.emplace_back();
      closed = false;
    } else if (lineEnd) {
      const std::size_t end = i;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      ++line;
      lineStart = i + 1;
      closed = false;
      finish(end);
      start = i + 1;
    } else {
      record.cells.back() += c;
    }
  }
  if (quoted) {
    error = {record.line, 0, "a quoted cell is never closed"};
    return false;
  }
  if (start < text.size()) finish(text.size());
  return true;
}

// The header's delimiter: whichever of ',', ';' and TAB its first line holds
// most of outside quotes (column names hold none of them); a comma on a tie.
char DetectDelimiter(const std::string& text) {
  int commas = 0, semicolons = 0, tabs = 0;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\r' || c == '\n') break;
    commas += c == ',';
    semicolons += c == ';';
    tabs += c == '\t';
  }
  if (tabs > commas && tabs > semicolons) return '\t';
  return semicolons > commas ? ';' : ',';
}

// The first code point of a cell in UTF-8 that a terminal or the tracker's
// display would act on instead of showing: a C1 control (U+0080 to U+009F)
// or a bidirectional control (U+202A to U+202E, U+2066 to U+2069), which
// reorders what is shown around it. 0 when there is none or when the cell is
// not valid UTF-8 (another code page, whose bytes go out as they are).
char32_t HiddenControl(const std::string& cell) {
  char32_t found = 0;
  for (std::size_t i = 0; i < cell.size();) {
    const auto b = static_cast<unsigned char>(cell[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    const int length = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
    if (length == 0 || (b >= 0xF0 && length != 4) || i + length > cell.size()) return 0;
    char32_t point = b & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(cell[i + k]);
      if ((next & 0xC0) != 0x80) return 0;
      point = (point << 6) | (next & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
    const bool hidden = (point >= 0x80 && point <= 0x9F) || (point >= 0x202A && point <= 0x202E) ||
                        (point >= 0x2066 && point <= 0x2069);
    if (hidden && !found) found = point;
    i += static_cast<std::size_t>(length);
  }
  return found;
}

std::string HiddenControlWhy(char32_t point) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(point));
  return std::string("holds ") + name +
         (point <= 0x9F ? ", a C1 control character" : ", a bidirectional control character") +
         ", which changes how the text around it is shown: type the value again without it";
}

// The table's bytes: a regular file of at most kMaxTableSize bytes. False
// with `problem` set.
bool ReadTableFile(const std::string& path, std::string& text, std::string& problem) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    problem = path + ": " + SystemReason(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    problem = path + ": not a regular file";
    return false;
  }
  auto tooLarge = [&](std::uintmax_t size) {
    problem = path + ": the table is " + std::to_string(size) + " bytes, more than the " +
              std::to_string(kMaxTableSize) + " bytes (" + std::to_string(kMaxTableSize / (1024 * 1024)) +
              " MiB) a table may have: split it into several tables";
    return false;
  };
  if (static_cast<std::uintmax_t>(st.st_size) > kMaxTableSize) return tooLarge(st.st_size);
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    problem = path + ": " + SystemReason(errno ? errno : EIO);
    return false;
  }
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    problem = path + ": " + SystemReason(EIO);
    return false;
  }
  if (text.size() > kMaxTableSize) return tooLarge(text.size());  // it grew while being read
  return true;
}

// What a column is: the key column, or the config key a value column sets.
struct Column {
  std::string name;
  const ConfigKey* key = nullptr;  // null for the key column
};

// Checks a header cell; the config key it names or the problem.
std::string ColumnProblem(const std::string& name, const std::set<std::string>& templateSections,
                          const ConfigKey*& found) {
  found = nullptr;
  const std::size_t slash = name.find('/');
  if (slash == std::string::npos) return "is not a column this table may have (IMEI, COM or SECTION/Key)";
  const std::string section = name.substr(0, slash), key = Lower(name.substr(slash + 1));
  for (const ConfigKey& k : ConfigKeys()) {
    if (Lower(section) != Lower(k.section) || key != Lower(k.key)) continue;
    Group group;
    if (k.id == 0 || !GroupOfSection(k.section, group) || group == Group::Rto)
      return "is not a value write sends";
    if (!templateSections.count(k.section))
      return std::string("is in a group the template does not send ([") + k.section + "])";
    found = &k;
    return {};
  }
  return "is not a key of the config file (SECTION/Key as in the file, e.g. RVKPN/PhoneNum1)";
}

// Why `value` cannot go into the field of `key`, or empty.
std::string ValueProblem(const ConfigKey& key, const std::string& value) {
  const FormField* field = FindFormField(key.id);
  if (IsFormulaDamage(value))
    return Shown(value) +
           " is what a spreadsheet made of a formula (a value starting with =, + or -): format the column as "
           "text and type the value again";
  switch (key.encoding) {
    case Encoding::Flag: return value == "0" || value == "1" ? "" : Shown(value) + " is not 0 or 1";
    case Encoding::Index:
    case Encoding::Int: return IsInteger(value) ? "" : Shown(value) + " is not a number";
    case Encoding::Octet:
      return IsInteger(value) && ParseWholeWithin(value, 0, 255)
                 ? ""
                 : Shown(value) + " is not an address octet (0 to 255)";
    case Encoding::Text: break;
  }
  if (const std::size_t at = FindControlByte(value); at != std::string::npos)
    return Shown(value) + " holds a control character (" +
           ControlByteName(static_cast<unsigned char>(value[at])) +
           "), which would end or garble its command line";
  if (value.find(',') != std::string::npos)
    return Shown(value) + " holds a comma, which would shift every later field of the line";
  const bool numeric = field && (field->rule == ValueRule::Phone || field->rule == ValueRule::Digits ||
                                 field->rule == ValueRule::Pin);
  if (numeric && IsExponentForm(value)) return Shown(value) + " is in exponent form: " + kSpreadsheetNumber;
  if (!field) return {};
  if (const auto broken = CheckValueRule(*field, value)) return DescribeBrokenRule(*field, value, *broken);
  return {};
}

// The key cell in its canonical form ("COM5", the device, the IMEI), or the problem.
std::string KeyProblem(FleetTable::KeyKind kind, const std::string& cell, std::string& key) {
  key = Trimmed(cell);
  if (key.empty())
    return "is empty: every row needs its tracker's " +
           std::string(kind == FleetTable::KeyKind::Imei ? "IMEI" : "port");
  if (kind == FleetTable::KeyKind::Imei) {
    if (IsExponentForm(key)) return Shown(key) + " is in exponent form: " + kSpreadsheetNumber;
    if (key.size() != 15 || !std::all_of(key.begin(), key.end(), ::isdigit))
      return Shown(key) + " is not an IMEI (15 digits)";
    if (!IsValidImei(key)) return Shown(key) + " is not an IMEI (its last digit fails the Luhn check)";
    return {};
  }
  if (key[0] == '/') return {};
  std::string digits = Lower(key).rfind("com", 0) == 0 ? key.substr(3) : key;
  if (digits.empty() || digits.size() > 4 || !std::all_of(digits.begin(), digits.end(), ::isdigit) ||
      *ParseWhole(digits) == 0)
    return Shown(key) + " is not a port (5, COM5 or a device such as /dev/ttyUSB0)";
  key = "COM" + std::to_string(*ParseWhole(digits));
  return {};
}

}  // namespace

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
  std::vector<Record> records;
  if (SplitError split; !SplitRecords(text, table.delimiter, records, split)) {
    problems.push_back(path + ":" + std::to_string(split.line) +
                       (split.column > 0 ? ":" + std::to_string(split.column) : std::string()) + ": " +
                       split.why);
    return false;
  }
  if (records.empty()) {
    problems.push_back(path + ": the table is empty (no header line)");
    return false;
  }

  // The header: one key column at most, each value column once.
  const Record& header = records.front();
  std::vector<Column> columns;
  int keyColumn = -1;
  std::set<std::string> seen;
  for (const std::string& cell : header.cells) {
    Column column{Trimmed(cell)};
    const std::string lower = Lower(column.name);
    if (lower == "imei" || lower == "com") {
      column.name = lower == "imei" ? "IMEI" : "COM";
      if (keyColumn >= 0) {
        complain(header.line, column.name, "a second key column (a table has one: IMEI or COM)");
      } else {
        keyColumn = static_cast<int>(columns.size());
        table.keyKind = lower == "imei" ? FleetTable::KeyKind::Imei : FleetTable::KeyKind::Com;
      }
    } else if (const std::string why = ColumnProblem(column.name, templateSections, column.key);
               !why.empty()) {
      complain(header.line, column.name.empty() ? "(no name)" : column.name, why);
    } else {
      column.name = std::string(column.key->section) + "/" + column.key->key;
    }
    if (!seen.insert(column.name).second) complain(header.line, column.name, "is named twice");
    columns.push_back(column);
    table.columns.push_back(column.name);
  }
  if (std::none_of(columns.begin(), columns.end(), [](const Column& c) { return c.key; }) &&
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
    const Record& record = records[r];
    if (record.cells.size() != columns.size()) {
      problems.push_back(path + ":" + std::to_string(record.line) + ": " +
                         std::to_string(record.cells.size()) + " cells, but the header has " +
                         std::to_string(columns.size()) +
                         " (a delimiter inside a value needs quotes around it)");
      continue;
    }
    FleetTable::Row row{record.line, "", {}, record.text};
    for (std::size_t c = 0; c < columns.size(); ++c) {
      const std::string& cell = record.cells[c];
      if (const char32_t hidden = HiddenControl(cell)) {
        complain(record.line, columns[c].name, HiddenControlWhy(hidden));
        if (static_cast<int>(c) != keyColumn && columns[c].key)
          row.values.emplace_back(columns[c].name, cell);
      } else if (static_cast<int>(c) == keyColumn) {
        if (const std::string why = KeyProblem(table.keyKind, cell, row.key); !why.empty()) {
          complain(record.line, columns[c].name, why);
        } else if (const auto [at, added] =
                       keyLines.emplace(identityOf(row.key), std::make_pair(record.line, row.key));
                   !added) {
          const auto& [line, earlier] = at->second;
          complain(record.line, columns[c].name,
                   earlier == row.key
                       ? Shown(row.key) + " is the key of line " + std::to_string(line) + " as well"
                       : Shown(row.key) + " is the port of line " + std::to_string(line) + " (" +
                             Shown(earlier) + ") as well: both name " + EscapeControlBytes(at->first));
        }
      } else if (columns[c].key && !cell.empty()) {
        if (const std::string why = ValueProblem(*columns[c].key, cell); !why.empty())
          complain(record.line, columns[c].name, why);
        row.values.emplace_back(columns[c].name, cell);
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
