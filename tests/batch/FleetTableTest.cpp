// The per-tracker values table: what a spreadsheet's CSV may look like, what
// is refused (naming line, column and rule) and how a row lands on a template.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "../support/TestFiles.h"
#include "FleetTableFixture.h"
#include "batch/ConfigCheck.h"
#include "batch/FleetTable.h"

using namespace kestrun;
using namespace kestrun::batch;
using namespace kestrun::testing;

namespace {

// A value of `values` read back the way its config key holds it.
std::string ValueOf(const CFormValues& values, const std::string& column) {
  const std::size_t slash = column.find('/');
  const ConfigKey* key = FindConfigKey(column.substr(0, slash), column.substr(slash + 1));
  switch (key->encoding) {
    case Encoding::Text: return values.Text(key->id);
    case Encoding::Octet: return std::to_string(values.Address(key->id)[key->octet]);
    default: return std::to_string(values.Number(key->id));
  }
}

// The table `csv` as fleet.csv in `dir`, read; it must pass.
FleetTable Loaded(const TempDir& dir, const std::string& csv) {
  WriteFile(dir / "fleet.csv", csv);
  FleetTable table;
  std::vector<std::string> problems;
  EXPECT_TRUE(LoadFleetTable(dir / "fleet.csv", kTemplate, table, problems))
      << (problems.empty() ? "" : problems.front());
  return table;
}

struct GoodTable {
  const char* name;
  std::string csv;
  FleetTable::KeyKind kind;
  std::string lookup;                                         // the IMEI, port or device of the second row
  std::vector<std::pair<std::string, std::string>> firstRow;  // every value after merging the first row
  std::string keptColumn;  // empty in the first row: keeps the template's value
};

TEST(FleetTableTest, ReadsGoodTablesAndMergesTheirRows) {
  using Kind = FleetTable::KeyKind;
  const std::vector<GoodTable> cases = {
      {"comma, LF",
       "IMEI,RVPIN/PIN,RVKPN/PhoneNum1\n" + kImei + ",0042,+491701234\n" + kImei2 + ",1234,\n",
       Kind::Imei,
       kImei2,
       {{"RVPIN/PIN", "0042"}, {"RVKPN/PhoneNum1", "+491701234"}},
       ""},
      {"semicolon, BOM, CRLF, quotes",
       "\xEF\xBB\xBFIMEI;RVKPN/PhoneName1;RVSRI/GprsUser\r\n" + kImei + ";\"Jo \"\"K\"\" Smith\";\r\n" +
           kImei2 + ";x;y\r\n",
       Kind::Imei,
       kImei2,
       {{"RVKPN/PhoneName1", "Jo \"K\" Smith"}},
       "RVSRI/GprsUser"},
      {"ports, flags and octets",
       "COM,RVSRI/IP1,RVPIN/PinCheck,RVWLT/Numb1\nCOM7,10,1,\n/dev/ttyUSB3,192,0,5551\n\n",
       Kind::Com,
       "/dev/ttyUSB3",
       {{"RVSRI/IP1", "10"}, {"RVPIN/PinCheck", "1"}},
       "RVWLT/Numb1"},
      {"tab, Latin-1 and a UTF-8 text pass byte for byte",
       "IMEI\tRVKPN/PhoneName1\tRVKPN/PhoneName2\n" + kImei + "\tJ\xF6rg \x85\t\"\xC3\xA9t\xC3\xA9\"\n" +
           kImei2 + "\tx\ty\n",
       Kind::Imei,
       kImei2,
       {{"RVKPN/PhoneName1", "J\xF6rg \x85"}, {"RVKPN/PhoneName2", "\xC3\xA9t\xC3\xA9"}},
       ""},
      {"no key column, delimiter in quotes",
       "RVKPN/PhoneName1;RVPIN/PIN\n\"a;b\";1111\n;2222\n",
       Kind::None,
       "",
       {{"RVKPN/PhoneName1", "a;b"}, {"RVPIN/PIN", "1111"}},
       ""},
  };
  for (const GoodTable& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const FleetTable table = Loaded(dir, c.csv);
    EXPECT_EQ(table.keyKind, c.kind);
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[0].line, 2);
    EXPECT_EQ(table.rows[0].cellsText.find_first_of("\r\n"), std::string::npos);

    // A row is found by its own kind of key only; a table without keys finds none.
    EXPECT_EQ(c.kind == Kind::Com ? FindRowByPort(table, 0, c.lookup) : FindRowByImei(table, c.lookup),
              c.kind == Kind::None ? nullptr : &table.rows[1]);
    EXPECT_EQ(FindRowByPort(table, 7, ""), c.kind == Kind::Com ? &table.rows[0] : nullptr);
    EXPECT_EQ(FindRowByImei(table, BrokenCheckDigit()), nullptr);

    CFormValues values;
    // The template's value of the column the row leaves empty (both are text keys).
    const std::size_t slash = c.keptColumn.find('/');
    if (const ConfigKey* key = FindConfigKey(c.keptColumn.substr(0, slash), c.keptColumn.substr(slash + 1)))
      values.Text(key->id) = "7";
    MergeRow(table.rows[0], values);
    for (const auto& [column, value] : c.firstRow) EXPECT_EQ(ValueOf(values, column), value) << column;
    if (!c.keptColumn.empty()) {
      EXPECT_EQ(ValueOf(values, c.keptColumn), "7");
    }
  }
}

// What a spreadsheet writes beyond SECTION/Key cells: columns of notes kept
// with their row, an address in one dotted cell, numbers and phone numbers
// with spaces (and separators) tidied with a line naming each changed cell,
// text cells byte for byte, and a secret's value in no line.
struct SpreadsheetTable {
  const char* name;
  std::string csv;
  std::vector<std::pair<std::string, std::string>> merged;  // values after merging the first row
  std::vector<std::pair<std::string, std::string>> notes;   // the first row's notes
  std::vector<std::string> tidied;                          // its lines, after "fleet.csv:2: column "
  std::vector<std::string> secrets;                         // values no line may show
};

TEST(FleetTableTest, KeepsNotesSplitsDottedAddressesAndTidiesNumbers) {
  const std::vector<SpreadsheetTable> cases = {
      {"notes and a dotted address",
       "IMEI,#Vehicle,RVSRI/IP,#Depot,RVKPN/PhoneName1\n" + kImei + ",Van 12,10.1.2.250,,  Bob  \n" + kImei2 +
           ",x,1.2.3.4,y,z\n",
       {{"RVSRI/IP1", "10"},
        {"RVSRI/IP2", "1"},
        {"RVSRI/IP3", "2"},
        {"RVSRI/IP4", "250"},
        {"RVKPN/PhoneName1", "  Bob  "}},
       {{"#Vehicle", "Van 12"}},
       {},
       {}},
      {"spaces and separators",
       "COM;RVKPN/PhoneNum1;RVWLT/Numb1;RVSRI/ServerPort;RVPIN/PIN;RVSRI/APN;RVSRI/IP;RVPIN/PinCheck;#Note\n"
       "5;+49 (151) 700-00/00; 0151 234 ;5\xC2\xA0"
       "000;98 76;my apn ; 10. 0.0.1; 1; a b \n"
       "6;1;2;3;1234;a;1.1.1.1;0;\n",
       {{"RVKPN/PhoneNum1", "+491517000000"},
        {"RVWLT/Numb1", "0151234"},
        {"RVSRI/ServerPort", "5000"},
        {"RVPIN/PIN", "9876"},
        {"RVSRI/APN", "my apn "},
        {"RVSRI/IP1", "10"},
        {"RVSRI/IP2", "0"},
        {"RVPIN/PinCheck", "1"}},
       {{"#Note", " a b "}},
       {"RVKPN/PhoneNum1: '+49 (151) 700-00/00' -> '+491517000000'", "RVWLT/Numb1: ' 0151 234 ' -> '0151234'",
        "RVSRI/ServerPort: '5\xC2\xA0"
        "000' -> '5000'",
        "RVPIN/PIN: spaces removed (a secret: its value is not shown)",
        "RVSRI/IP: ' 10. 0.0.1' -> '10.0.0.1'", "RVPIN/PinCheck: ' 1' -> '1'"},
       {"98 76", "9876"}},
  };
  for (const SpreadsheetTable& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const FleetTable table = Loaded(dir, c.csv);
    ASSERT_EQ(table.rows.size(), 2u);
    const FleetTable::Row& row = table.rows[0];
    CFormValues values;
    MergeRow(row, values);
    for (const auto& [column, value] : c.merged) EXPECT_EQ(ValueOf(values, column), value) << column;
    EXPECT_EQ(row.notes, c.notes);
    std::vector<std::string> tidied;
    for (const std::string& line : c.tidied) tidied.push_back(dir / "fleet.csv" + ":2: column " + line);
    EXPECT_EQ(row.tidied, tidied);
    for (const std::string& line : row.tidied)
      for (const std::string& secret : c.secrets)
        EXPECT_EQ(line.find(secret, (dir / "fleet.csv").size()), std::string::npos) << line;
    // Notes are never values: the merge sets only config keys.
    for (const auto& [column, value] : row.values) EXPECT_NE(column[0], '#') << column;
  }
}

}  // namespace
