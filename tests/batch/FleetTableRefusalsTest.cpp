// The per-tracker values table: what is refused, naming line, column and
// rule. Its ports are links in a ports folder, as Linux finds them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "../support/TestFiles.h"
#include "FleetTableFixture.h"
#include "batch/FleetTable.h"

using namespace kestrun;
using namespace kestrun::batch;
using namespace kestrun::testing;

TEST(FleetTableTest, RefusesBadTablesNamingLineColumnAndRule) {
  const struct {
    const char* name;
    std::string csv;
    std::string problem;  // a fragment of one complaint: ":line: column NAME: rule"
    bool stopped = false;  // the check is told to stop: its answer is not wanted
  } cases[] = {
      {"unknown column", "IMEI,RVPIN/Pine\n" + kImei + ",1234\n", ":1: column RVPIN/Pine: is not a key"},
      {"not SECTION/Key", "IMEI,Phone\n" + kImei + ",1\n",
       ":1: column Phone: is not a column this table may have (IMEI, COM or SECTION/Key): to keep it as "
       "notes, name it #Phone"},
      {"no such section", "IMEI,Fleet/Owner,RVPIN/PIN\n" + kImei + ",x,1234\n", "name it #Fleet/Owner"},
      {"an address key close to IP", "IMEI,RVSRI/IP Address\n" + kImei + ",1\n",
       ":1: column RVSRI/IP Address: is not a key of the config file: the address is RVSRI/IP (a.b.c.d) or"},
      {"dotted address and its octets", "IMEI,rvsri/ip,RVSRI/IP3\n" + kImei + ",10.0.0.1,5\n",
       ":1: column RVSRI/IP: and RVSRI/IP3 name the same address: give it either as RVSRI/IP (a.b.c.d) or as "
       "RVSRI/IP1 to RVSRI/IP4"},
      {"three parts", "COM,RVSRI/IP\n5,10.0.1\n",
       ":2: column RVSRI/IP: '10.0.1' is not an address a.b.c.d (each part 0 to 255): it has 3 parts"},
      {"a part over 255", "COM,RVSRI/IP\n5,10.0.256.1\n",
       "'10.0.256.1' is not an address a.b.c.d (each part 0 to 255): part 3 is '256'"},
      {"a number with spaces still checked", "COM,RVWLT/Numb1\n5, 0170 12a4\n",
       ":2: column RVWLT/Numb1: White Number 1: '017012a4' is not digits only"},
      {"a phone number of separators alone", "COM,RVKPN/PhoneNum1\n5,-\n",
       ":2: column RVKPN/PhoneNum1: Phone Number 1: '-' is not digits"},
      {"a separator in a number cell", "COM,RVSRI/ServerPort\n5,60-01\n",
       ":2: column RVSRI/ServerPort: Server Port: '60-01' is not digits"},
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
       ":2: column RVPIN/PIN: PIN: the value (a secret: not shown) is not empty, or 4 to 8"},
      {"a password is never repeated", "IMEI,RVSRI/Password\n" + kImei + ",\"se,cret\"\n",
       ":2: column RVSRI/Password: the value (a secret: not shown) holds a comma"},
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
      {"a long cell is shown by its head", "COM,RVWLT/Numb1\n5," + std::string(70000, '7') + "a\n",
       ":2: column RVWLT/Numb1: White Number 1: '" + std::string(40, '7') + "...' (70001 bytes) is not digits"},
      {"a long key cell", "IMEI,RVPIN/PIN\n" + std::string(70000, '1') + ",1234\n",
       ":2: column IMEI: '" + std::string(40, '1') + "...' (70000 bytes) is not an IMEI (15 digits)"},
      {"a long header cell, its control bytes escaped", "COM,\x1b[2J" + std::string(70000, 'h') + "\n5,1\n",
       ":1: column \\x1B[2J" + std::string(36, 'h') + "... (70004 bytes): is not a column this table may have "
       "(IMEI, COM or SECTION/Key): to keep it as notes, name it #\\x1B[2J" + std::string(36, 'h') +
           "... (70004 bytes)"},
      {"a stopped check", "IMEI,RVPIN/PIN\n" + kImei + ",1234\n",
       std::string("fleet.csv: ") + kStoppedReading, true},
  };
  // A port COM7 (a link in the user's ports folder) and a stable name of its device; '@' is this folder.
  TempDir dir;
  for (const char* folder : {"dev", "ports", "by-id"}) std::filesystem::create_directories(dir / folder);
  WriteFile(dir / "dev/ttyFake0", "");
  std::filesystem::create_symlink(dir / "dev/ttyFake0", dir / "ports/com7");
  std::filesystem::create_symlink("../dev/ttyFake0", dir / "by-id/usb-Fake");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string csv = c.csv, problem = c.problem;
    for (std::string* text : {&csv, &problem})
      for (std::size_t at; (at = text->find('@')) != std::string::npos;) text->replace(at, 1, dir.path());
    WriteFile(dir / "fleet.csv", csv);
    FleetTable table;
    std::vector<std::string> problems;
    const std::atomic<bool> stop{c.stopped};
    EXPECT_FALSE(LoadFleetTable(dir / "fleet.csv", kTemplate, table, problems,
                                {dir / "sys", dir / "dev", dir / "ports"}, &stop));
    EXPECT_TRUE(std::any_of(problems.begin(), problems.end(), [&](const std::string& p) {
      return p.find(problem) != std::string::npos;
    })) << (problems.empty() ? "(no problem)" : problems.front());
  }
}

TEST(FleetTableTest, AnAddressGivenBothWaysIsNamedOnceHoweverOftenTheHeaderRepeatsIt) {
  // 50 dotted and 50 octet columns of one address: one clash, not one per pair.
  std::string header = "IMEI";
  for (const char* name : {",RVSRI/IP", ",RVSRI/IP1"})
    for (int i = 0; i < 50; ++i) header += name;
  TempDir dir;
  WriteFile(dir / "fleet.csv", header + "\n");
  FleetTable table;
  std::vector<std::string> problems;
  EXPECT_FALSE(LoadFleetTable(dir / "fleet.csv", kTemplate, table, problems));
  const auto count = [&](const std::string& text) {
    return std::count_if(problems.begin(), problems.end(),
                         [&](const std::string& p) { return p.find(text) != std::string::npos; });
  };
  EXPECT_EQ(count("and RVSRI/IP1 name the same address"), 1);
  EXPECT_EQ(count("is named twice"), 98);
}
