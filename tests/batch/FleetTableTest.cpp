// The per-tracker values table: what a spreadsheet's CSV may look like and
// how a row lands on a template (its refusals: FleetTableRefusalsTest.cpp).
#include <gtest/gtest.h>

#include "../support/TestFiles.h"
#include "FleetTableFixture.h"
#include "batch/ConfigCheck.h"
#include "batch/CsvRecords.h"
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

TEST(FleetTableTest, ReadsGoodTablesAndMergesTheirRows) {
  using Kind = FleetTable::KeyKind;
  const struct {
    const char* name;
    std::string csv;
    Kind kind;
    std::string lookup;                                         // the IMEI, port or device of the second row
    std::vector<std::pair<std::string, std::string>> firstRow;  // every value after merging the first row
    std::string keptColumn;  // empty in the first row: keeps the template's value, "7"
  } cases[] = {
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
       {{"RVKPN/PhoneName1", "Jo \"K\" Smith"}, {"RVSRI/GprsUser", "7"}},
       "RVSRI/GprsUser"},
      {"ports, flags and octets",
       "COM,RVSRI/IP1,RVPIN/PinCheck,RVWLT/Numb1\nCOM7,10,1,\n/dev/ttyUSB3,192,0,5551\n\n",
       Kind::Com,
       "/dev/ttyUSB3",
       {{"RVSRI/IP1", "10"}, {"RVPIN/PinCheck", "1"}, {"RVWLT/Numb1", "7"}},
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
  for (const auto& c : cases) {
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
  }
}

// Notes kept with their row, an address in one dotted cell, numbers tidied
// with a line naming each changed cell (not the PIN's value), text kept.
TEST(FleetTableTest, KeepsNotesSplitsDottedAddressesAndTidiesNumbers) {
  TempDir dir;
  const FleetTable table =
      Loaded(dir,
             "COM;RVKPN/PhoneNum1;RVWLT/Numb1;RVSRI/ServerPort;RVPIN/PIN;RVSRI/APN;RVSRI/IP;#Note;#Depot\n"
             "5;+49 (151) 700-00/00; 0151 234 ;5\u00A0000;98 76;my apn ; 10. 0.0.1; a b ;\n"
             "6;1;2;3;1234;a;1.1.1.1;;\n");
  ASSERT_EQ(table.rows.size(), 2u);
  CFormValues values;
  MergeRow(table.rows[0], values);
  std::string merged;
  for (const char* column : {"RVKPN/PhoneNum1", "RVWLT/Numb1", "RVSRI/ServerPort", "RVPIN/PIN", "RVSRI/APN",
                             "RVSRI/IP1", "RVSRI/IP4"})
    merged += ValueOf(values, column) + "|";
  EXPECT_EQ(merged, "+491517000000|0151234|5000|9876|my apn |10|1|");
  EXPECT_EQ(table.rows[0].notes, (std::vector<std::pair<std::string, std::string>>{{"#Note", " a b "}}));
  const std::string at = dir / "fleet.csv:2: column ";
  EXPECT_EQ(table.rows[0].tidied,
            (std::vector<std::string>{at + "RVKPN/PhoneNum1: '+49 (151) 700-00/00' -> '+491517000000'",
                                      at + "RVWLT/Numb1: ' 0151 234 ' -> '0151234'",
                                      at + "RVSRI/ServerPort: '5\u00A0000' -> '5000'",
                                      at + "RVPIN/PIN: spaces removed (a secret: its value is not shown)",
                                      at + "RVSRI/IP: ' 10. 0.0.1' -> '10.0.0.1'"}));
}

}  // namespace

TEST(FleetTableTest, ASplitToldToStopEndsAtTheNextRecordsEnd) {
  for (const bool stopped : {false, true}) {
    std::vector<CsvRecord> records;
    CsvSplitError error;
    const std::atomic<bool> stop{stopped};
    EXPECT_TRUE(SplitRecords("IMEI,RVPIN/PIN\n1,\"2\n2\"\n3,4\n", ',', records, error, &stop));
    EXPECT_EQ(records.size(), stopped ? 1u : 3u);
  }
}
