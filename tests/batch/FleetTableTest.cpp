// The per-tracker values table: what a spreadsheet's CSV may look like, what
// is refused (naming line, column and rule) and how a row lands on a template.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "../support/TestFiles.h"
#include "batch/ConfigCheck.h"
#include "batch/FleetTable.h"
#include "protocol/Identity.h"

using namespace kestrun;
using namespace kestrun::batch;
using namespace kestrun::testing;

namespace {

const std::set<std::string> kTemplate = {"RVSRI", "RVKPN", "RVWLT", "RVPIN"};
const std::string kImei = "490154203237518", kImei2 = "356938035643809";

// kImei with its check digit changed.
std::string BrokenCheckDigit() {
  std::string imei = kImei;
  imei.back() = static_cast<char>('0' + (imei.back() - '0' + 1) % 10);
  return imei;
}

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

struct BadTable {
  const char* name;
  std::string csv;
  std::string problem;  // a fragment of one complaint: ":line: column NAME: rule"
};

TEST(FleetTableTest, RefusesBadTablesNamingLineColumnAndRule) {
  const std::vector<BadTable> cases = {
      {"unknown column", "IMEI,RVPIN/Pine\n" + kImei + ",1234\n", ":1: column RVPIN/Pine: is not a key"},
      {"not SECTION/Key", "IMEI,Phone\n" + kImei + ",1\n", ":1: column Phone: is not a column"},
      {"section not in the template", "IMEI,RVTRI/SendInterval\n" + kImei + ",5\n",
       ":1: column RVTRI/SendInterval: is in a group the template does not send"},
      {"RVRTO is never sent", "IMEI,RVRTO/CmdOptionIdx\n" + kImei + ",1\n",
       "column RVRTO/CmdOptionIdx: is not a value write"},
      {"duplicate column", "IMEI,RVPIN/PIN,rvpin/pin\n" + kImei + ",1234,1234\n",
       ":1: column RVPIN/PIN: is named twice"},
      {"two key columns", "IMEI,COM,RVPIN/PIN\n" + kImei + ",5,1234\n",
       ":1: column COM: a second key column"},
      {"cell count", "IMEI,RVPIN/PIN\n" + kImei + ",1234\n" + kImei2 + ",12,34\n",
       ":3: 3 cells, but the header has 2"},
      {"rule", "IMEI;RVPIN/PIN\n" + kImei + ";12a4\n",
       ":2: column RVPIN/PIN: PIN: '12a4' is not empty, or 4 to 8"},
      {"comma", "IMEI,RVKPN/PhoneName1\n" + kImei + ",\"Doe, J\"\n",
       ":2: column RVKPN/PhoneName1: 'Doe, J' holds a comma"},
      {"control character", "IMEI,RVSRI/GprsUser\n" + kImei + ",\"a\nb\"\n",
       ":2: column RVSRI/GprsUser: 'a\\x0Ab' holds a control character (LF)"},
      {"flag", "COM,RVKPN/Key1\n5,yes\n", ":2: column RVKPN/Key1: 'yes' is not 0 or 1"},
      {"octet", "COM,RVSRI/IP1\nCOM5,256\n", ":2: column RVSRI/IP1: '256' is not an address octet"},
      {"duplicate IMEI", "IMEI,RVPIN/PIN\n" + kImei + ",1234\n" + kImei + ",5678\n",
       ":3: column IMEI: '" + kImei + "' is the key of line 2 as well"},
      {"duplicate port", "COM,RVPIN/PIN\n5,1234\r\nCOM5,5678\r\n",
       ":3: column COM: 'COM5' is the key of line 2"},
      {"bad port", "COM,RVPIN/PIN\nttyUSB0,1234\n", ":2: column COM: 'ttyUSB0' is not a port"},
      {"IMEI length", "IMEI,RVPIN/PIN\n4901542032375,1234\n",
       ":2: column IMEI: '4901542032375' is not an IMEI (15 digits)"},
      {"IMEI check digit", "IMEI,RVPIN/PIN\n" + BrokenCheckDigit() + ",1234\n", "fails the Luhn check"},
      {"IMEI exponent", "IMEI,RVPIN/PIN\n8.6E+14,1234\n",
       ":2: column IMEI: '8.6E+14' is in exponent form: a spreadsheet turned it into a number: format the "
       "column as text"},
      {"IMEI exponent, decimal comma", "IMEI;RVPIN/PIN\n8,6E+14;1234\n", "'8,6E+14' is in exponent form"},
      {"phone exponent", "IMEI,RVWLT/Numb1\n" + kImei + ",4.91701E+12\n",
       ":2: column RVWLT/Numb1: '4.91701E+12' is in exponent"},
      {"phone formula", "IMEI,RVKPN/PhoneNum1\n" + kImei + ",#NAME?\n",
       ":2: column RVKPN/PhoneNum1: '#NAME?' is what a spreadsheet made of a formula"},
      {"formula text", "IMEI,RVKPN/PhoneNum1\n" + kImei + ",=+4917012\n",
       "'=+4917012' is what a spreadsheet made"},
      {"empty key", "IMEI,RVPIN/PIN\n,1234\n", ":2: column IMEI: is empty"},
      {"open quote", "IMEI,RVPIN/PIN\n" + kImei + ",\"1234\n", ":2: a quoted cell is never closed"},
      {"no rows", "IMEI,RVPIN/PIN\n", "a header but no rows"},
      {"no value column", "IMEI\n" + kImei + "\n", ":1: no SECTION/Key column"},
      {"UTF-16", std::string("\xFF\xFEI\0M\0", 6), "saved as UTF-16"},
      {"quote inside an unquoted cell", "IMEI,RVKPN/PhoneName1\n" + kImei + ",ab\"cd\"\n",
       ":2:19: a quote inside a cell that does not start with one"},
      {"text after the closing quote", "IMEI\tRVKPN/PhoneName1\n" + kImei + "\t\"ab\"cd\n",
       ":2:21: text after the closing quote"},
      {"C1 control",
       "IMEI,RVKPN/PhoneName1\n" + kImei +
           ",Bob\xC2\x9B"
           "2J\n",
       ":2: column RVKPN/PhoneName1: holds U+009B, a C1 control character"},
      {"bidirectional override", "IMEI,RVKPN/PhoneName1\n" + kImei + ",\xE2\x80\xAEnimda\n",
       ":2: column RVKPN/PhoneName1: holds U+202E, a bidirectional control"},
      {"bidirectional isolate",
       "COM,RVKPN/PhoneName1\n5,a\xE2\x81\xA6"
       "b\n",
       "holds U+2066"},
      {"port by number and by device", "COM,RVPIN/PIN\n7,1234\n@/dev/ttyFake0,5678\n",
       ":3: column COM: '@/dev/ttyFake0' is the port of line 2 ('COM7') as well"},
      {"port by stable name", "COM,RVPIN/PIN\n@/by-id/usb-Fake,1234\nCOM7,5678\n",
       ":3: column COM: 'COM7' is the port of line 2"},
      {"over the limit", "COM,RVPIN/PIN\n" + std::string(kMaxTableSize, '\n'),
       "the table is " + std::to_string(kMaxTableSize + 14) + " bytes, more than the " +
           std::to_string(kMaxTableSize) + " bytes (64 MiB)"},
  };
  for (const BadTable& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    // A port COM7 (a link in the user's ports folder) and a stable name of its device; '@' is this folder.
    std::filesystem::create_directories(dir / "dev");
    std::filesystem::create_directories(dir / "ports");
    std::filesystem::create_directories(dir / "by-id");
    WriteFile(dir / "dev/ttyFake0", "");
    std::filesystem::create_symlink(dir / "dev/ttyFake0", dir / "ports/com7");
    std::filesystem::create_symlink("../dev/ttyFake0", dir / "by-id/usb-Fake");
    std::string csv = c.csv, problem = c.problem;
    for (std::string* text : {&csv, &problem})
      for (std::size_t at; (at = text->find('@')) != std::string::npos;) text->replace(at, 1, dir.path());
    WriteFile(dir / "fleet.csv", csv);
    FleetTable table;
    std::vector<std::string> problems;
    EXPECT_FALSE(LoadFleetTable(dir / "fleet.csv", kTemplate, table, problems,
                                {dir / "sys", dir / "dev", dir / "ports"}));
    EXPECT_TRUE(std::any_of(problems.begin(), problems.end(), [&](const std::string& p) {
      return p.find(problem) != std::string::npos;
    })) << (problems.empty() ? "(no problem)" : problems.front());
  }
}

struct GoodTable {
  const char* name;
  std::string csv;
  FleetTable::KeyKind kind;
  std::size_t rows;
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
       2,
       kImei2,
       {{"RVPIN/PIN", "0042"}, {"RVKPN/PhoneNum1", "+491701234"}},
       ""},
      {"semicolon, BOM, CRLF, quotes",
       "\xEF\xBB\xBFIMEI;RVKPN/PhoneName1;RVSRI/GprsUser\r\n" + kImei + ";\"Jo \"\"K\"\" Smith\";\r\n" +
           kImei2 + ";x;y\r\n",
       Kind::Imei,
       2,
       kImei2,
       {{"RVKPN/PhoneName1", "Jo \"K\" Smith"}},
       "RVSRI/GprsUser"},
      {"ports, flags and octets",
       "COM,RVSRI/IP1,RVPIN/PinCheck,RVWLT/Numb1\nCOM7,10,1,\n/dev/ttyUSB3,192,0,5551\n\n",
       Kind::Com,
       2,
       "/dev/ttyUSB3",
       {{"RVSRI/IP1", "10"}, {"RVPIN/PinCheck", "1"}},
       "RVWLT/Numb1"},
      {"tab, Latin-1 and a UTF-8 text pass byte for byte",
       "IMEI\tRVKPN/PhoneName1\tRVKPN/PhoneName2\n" + kImei + "\tJ\xF6rg \x85\t\"\xC3\xA9t\xC3\xA9\"\n" +
           kImei2 + "\tx\ty\n",
       Kind::Imei,
       2,
       kImei2,
       {{"RVKPN/PhoneName1", "J\xF6rg \x85"}, {"RVKPN/PhoneName2", "\xC3\xA9t\xC3\xA9"}},
       ""},
      {"no key column, delimiter in quotes",
       "RVKPN/PhoneName1;RVPIN/PIN\n\"a;b\";1111\n;2222\n",
       Kind::None,
       2,
       "",
       {{"RVKPN/PhoneName1", "a;b"}, {"RVPIN/PIN", "1111"}},
       ""},
  };
  for (const GoodTable& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteFile(dir / "fleet.csv", c.csv);
    FleetTable table;
    std::vector<std::string> problems;
    ASSERT_TRUE(LoadFleetTable(dir / "fleet.csv", kTemplate, table, problems))
        << (problems.empty() ? "" : problems.front());
    EXPECT_EQ(table.keyKind, c.kind);
    ASSERT_EQ(table.rows.size(), c.rows);
    EXPECT_EQ(table.rows[0].line, 2);
    EXPECT_EQ(table.rows[0].cellsText.find_first_of("\r\n"), std::string::npos);

    const FleetTable::Row* second = c.kind == Kind::Imei  ? FindRowByImei(table, c.lookup)
                                    : c.kind == Kind::Com ? FindRowByPort(table, 0, c.lookup)
                                                          : nullptr;
    if (c.kind != Kind::None) {
      EXPECT_EQ(second, &table.rows[1]);
    }
    if (c.kind == Kind::Com) {
      EXPECT_EQ(FindRowByPort(table, 7, ""), &table.rows[0]);
    }
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
  EXPECT_TRUE(IsValidImei(kImei));
  EXPECT_FALSE(IsValidImei(BrokenCheckDigit()));
}

}  // namespace
