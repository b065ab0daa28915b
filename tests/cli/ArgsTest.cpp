// The command line: commands, options in every spelling, and what is refused.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "../support/HostileValues.h"
#include "../support/TestSupport.h"
#include "cli/Args.h"
#include "port/PortDiscovery.h"
#include "settings/Connection.h"

using namespace kestrun;
using namespace kestrun::cli;
using namespace kestrun::batch;
using namespace kestrun::testing;

namespace {

Options Parse(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  EXPECT_TRUE(ParseArgs(args, options, error)) << error;
  return options;
}

std::string Refused(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  EXPECT_FALSE(ParseArgs(args, options, error));
  return error;
}

}  // namespace

TEST(ArgsTest, CommandsWithTheirFilesAndOptionsInAnyPlace) {
  Options o = Parse({"write", "fleet.ini", "--port", "5", "-p", "COM6", "--port=7,com8", "-p9"});
  EXPECT_EQ(o.command, Command::Write);
  EXPECT_EQ(o.file, "fleet.ini");
  EXPECT_EQ(o.ports, (std::vector<int>{5, 6, 7, 8, 9}));
  o = Parse(
      {"write", "f.ini", "-p", "/dev/ttyUSB0,5", "--port=/dev/serial/by-id/usb-FTDI-if00", "--dry-run"});
  EXPECT_EQ(o.ports, std::vector<int>{5});
  EXPECT_EQ(o.portPaths, (std::vector<std::string>{"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI-if00"}));

  o = Parse({"--json", "-q", "verify", "--allow-caps", "a.ini", "--baud", "57600", "--password=1234",
             "--pacing", "fast"});
  EXPECT_EQ(o.command, Command::Verify);
  EXPECT_TRUE(o.json);
  EXPECT_TRUE(o.quiet);
  EXPECT_TRUE(o.allowCaps);
  EXPECT_EQ(o.baudRate, 57600);
  EXPECT_EQ(o.pacing->mode(), CPacing::Mode::Fast);
  // A value that starts with "-" goes with its option.
  EXPECT_EQ(Parse({"read", "--password=-583", "-o-x.ini", "-p", "5"}).password, "-583");
  EXPECT_EQ(Parse({"read", "--password", "-583", "-o", "x.ini", "-p", "5"}).password, "-583");
  EXPECT_EQ(o.file, "a.ini");
  EXPECT_EQ(o.password, "1234");

  o = Parse({"read", "-o", "out.ini", "--log-dir", "logs"});
  EXPECT_EQ(o.command, Command::Read);
  EXPECT_EQ(o.outputFile, "out.ini");
  EXPECT_EQ(o.logDir, "logs");
  EXPECT_FALSE(o.baudRate.has_value());
  EXPECT_FALSE(o.password.has_value());
  EXPECT_FALSE(o.pacing.has_value());

  o = Parse({"diff", "--", "-odd-name.ini"});
  EXPECT_EQ(o.file, "-odd-name.ini");
  EXPECT_EQ(Parse({"ports"}).command, Command::Ports);
  EXPECT_TRUE(Parse({"--help"}).help);
  EXPECT_TRUE(Parse({"write", "-h"}).help);
  for (const auto& args : {std::vector<std::string>{"write", "--help"}, {"help", "write"}, {"-h", "write"}}) {
    o = Parse(args);
    EXPECT_TRUE(o.help);
    EXPECT_EQ(o.command, Command::Write) << args[0];
  }
  EXPECT_EQ(Parse({"help"}).command, Command::None);
  EXPECT_TRUE(Parse({"--version"}).version);
}

TEST(ArgsTest, GroupsNarrowAndNeverTakeRto) {
  Options o = Parse({"write", "f.ini", "--groups", "sri,RVBEI,Pin"});
  ASSERT_TRUE(o.groups.has_value());
  GroupSelection expected{};
  expected[static_cast<int>(Group::Sri)] = expected[static_cast<int>(Group::Bei)] =
      expected[static_cast<int>(Group::Pin)] = true;
  EXPECT_EQ(*o.groups, expected);
  EXPECT_NE(Refused({"write", "f.ini", "--groups", "sri,rto"}).find("RVRTO"), std::string::npos);
  EXPECT_NE(Refused({"write", "f.ini", "--groups", "sri,xyz"}).find("xyz"), std::string::npos);
  EXPECT_NE(Refused({"write", "f.ini", "--groups", ""}).find("unknown group"), std::string::npos);
}

TEST(ArgsTest, BadCommandLinesSayWhat) {
  EXPECT_NE(Refused({}).find("no command"), std::string::npos);
  EXPECT_NE(Refused({"flash"}).find("unknown command 'flash'"), std::string::npos);
  EXPECT_NE(Refused({"help", "flash"}).find("unknown command 'flash'"), std::string::npos);
  EXPECT_NE(Refused({"write"}).find("needs a config file"), std::string::npos);
  EXPECT_NE(Refused({"read"}).find("-o FILE"), std::string::npos);
  EXPECT_NE(Refused({"diff", "a.ini", "b.ini"}).find("unexpected argument 'b.ini'"), std::string::npos);
  EXPECT_NE(Refused({"ports", "extra"}).find("unexpected argument"), std::string::npos);
  EXPECT_NE(Refused({"write", "a.ini", "-o", "x.ini"}).find("-o is for read and labels"), std::string::npos);
  EXPECT_NE(
      Refused({"diff", "a.ini", "--allow-caps"}).find("--allow-caps is for write, verify and provision"),
      std::string::npos);
  EXPECT_NE(Refused({"read", "-o", "x", "--dry-run"}).find("--dry-run is for write, verify and provision"),
            std::string::npos);
  EXPECT_NE(Refused({"read", "-o", "x", "--groups", "sri"}).find("--groups"), std::string::npos);
  EXPECT_NE(Refused({"ports", "--port", "5"}).find("no connection options"), std::string::npos);
  EXPECT_NE(Refused({"write", "a.ini", "--port"}).find("needs a value"), std::string::npos);
  // An option where a value belongs is a forgotten value, not a file named --json.
  EXPECT_NE(Refused({"read", "-o", "--json", "-p", "5"}).find("-o needs a value, not the option --json"),
            std::string::npos);
  EXPECT_NE(Refused({"write", "a.ini", "--log-dir", "-q"}).find("not the option -q"), std::string::npos);
  EXPECT_NE(Refused({"write", "a.ini", "--port", "five"}).find("COM number"), std::string::npos);
  EXPECT_NE(Refused({"write", "a.ini", "--port", "0"}).find("COM number"), std::string::npos);
  EXPECT_NE(Refused({"write", "a.ini", "--port", "5", "--port", "COM5"}).find("twice"), std::string::npos);
  EXPECT_NE(Refused({"write", "a.ini", "--baud", "9600"}).find("57600"), std::string::npos);
  EXPECT_NE(Refused({"write", "a.ini", "--pacing", "slow"}).find("'slow'"), std::string::npos);
  EXPECT_NE(Refused({"write", "a.ini", "--password", "58,30"}).find("comma"), std::string::npos);
  EXPECT_NE(Refused({"write", "a.ini", "--frobnicate"}).find("unknown option --frobnicate"),
            std::string::npos);
  EXPECT_NE(Refused({"write", "a.ini", "--json=yes"}).find("takes no value"), std::string::npos);
  EXPECT_NE(Refused({"write", "a.ini", "--log-dir="}).find("needs a folder"), std::string::npos);
}

TEST(ArgsTest, PasswordComesOneWayWithoutControlCharacters) {
  for (const HostileValue& h : HostileValues()) {
    if (h.byteName.empty()) {
      EXPECT_EQ(Parse({"write", "a.ini", "--password", h.value}).password, h.value);
      continue;
    }
    const std::string error = Refused({"write", "a.ini", "--password", h.value});
    EXPECT_NE(error.find("--password holds a control character (" + h.byteName + ")"), std::string::npos)
        << error;
  }
  EXPECT_EQ(Parse({"write", "a.ini", "--password-file=pw"}).passwordFile, "pw");
  const Options asked = Parse({"write", "a.ini", "--password", "-"});
  EXPECT_TRUE(asked.askPassword);
  EXPECT_FALSE(asked.password.has_value());
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"write", "a.ini", "--password", "1", "--password-file", "pw"},
        {"write", "a.ini", "--password=-", "--password-file", "pw"},
        {"write", "a.ini", "--password", "-", "--password", "5830"}})
    EXPECT_NE(Refused(args).find("give the password one way"), std::string::npos) << args[3];
  EXPECT_NE(Refused({"write", "a.ini", "--password-file", "--json"}).find("not the option --json"),
            std::string::npos);
  EXPECT_NE(Refused({"ports", "--password-file", "pw"}).find("no connection options"), std::string::npos);
}

// The man page and README: OptionDocsTest.
TEST(ArgsTest, HelpDocumentsEveryOptionOfTheTable) {
  const std::string help = UsageText();
  const std::vector<std::string> names = OptionNames();
  EXPECT_GT(names.size(), 15u);
  for (const std::string& name : names) EXPECT_NE(help.find(name), std::string::npos) << name;
  for (const char* needle : {"  0 ", "  1 ", "  2 ", "  3 ", "  4 ", "130", "--password -", "RV450_PASSWORD",
                             "ports", "read -o FILE", "write FILE", "diff FILE", "verify FILE"})
    EXPECT_NE(help.find(needle), std::string::npos) << needle;
  // A command's synopsis ends before its text's column (or stands alone),
  // and every line fits a terminal of 80 columns.
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_LE(line.size(), 80u) << line;
    if (line.size() > 24 && line.rfind("  ", 0) == 0 && std::isalpha(static_cast<unsigned char>(line[2]))) {
      EXPECT_EQ(line.substr(22, 2), "  ") << line;
    }
  }
}

// Each command's help lists the options it takes and no other; the same
// table refuses the others on its command line.
TEST(ArgsTest, EachCommandsHelpListsTheOptionsItTakes) {
  const struct {
    Command command;
    std::vector<std::string> shown, hidden;
  } rows[] = {
      {Command::Ports, {"--json", "--quiet"}, {"--port", "--output", "--groups", "--dry-run"}},
      {Command::Read, {"--port", "--output", "--log-dir"}, {"--groups", "--allow-caps", "--dry-run"}},
      {Command::Write, {"--port", "--groups", "--allow-caps", "--dry-run"}, {"--output"}},
      {Command::Diff, {"--port", "--groups"}, {"--allow-caps", "--dry-run", "--output"}},
      {Command::Verify, {"--dry-run", "--allow-caps"}, {"--output"}},
  };
  for (const auto& row : rows) {
    const std::string help = UsageText(row.command);
    const std::string name = CommandName(row.command);
    EXPECT_EQ(help.rfind("Usage: rv450-cli " + name, 0), 0u) << help;
    for (const std::string& option : row.shown)
      EXPECT_NE(help.find(option), std::string::npos) << name << option;
    for (const std::string& option : row.hidden) {
      EXPECT_EQ(help.find(option), std::string::npos) << name << " " << option;
      std::vector<std::string> args{name};
      if (row.command != Command::Ports && row.command != Command::Read) args.push_back("a.ini");
      if (row.command == Command::Read) args.insert(args.end(), {"-o", "x.ini"});
      args.push_back(option == "--groups"                         ? "--groups=sri"
                     : option == "--output" || option == "--port" ? option + "=1"
                                                                  : option);
      EXPECT_FALSE(Refused(args).empty()) << name << " " << option;
    }
  }
}

TEST(ArgsTest, PacingAndBaudComeFromTheirOneList) {
  const struct {
    const char* pacing;
    CPacing expected;
  } pacings[] = {{"fast", CPacing::Fast()}, {"FAST", CPacing::Fast()}, {"Specified", CPacing::Specified()}};
  for (const auto& row : pacings)
    EXPECT_EQ(Parse({"write", "a.ini", "--pacing", row.pacing}).pacing, row.expected) << row.pacing;
  for (const int rate : kBaudRates)
    EXPECT_EQ(Parse({"write", "a.ini", "-b", std::to_string(rate)}).baudRate, rate);
  EXPECT_NE(Refused({"write", "a.ini", "--baud", "115200x"}).find(BaudListText(", ")), std::string::npos);
}

TEST(ArgsTest, JournalTakesItsFiltersAndOnlyThem) {
  const struct {
    std::vector<std::string> args;
    const char* refusal;  // nullptr: parses
  } rows[] = {
      {{"journal", "--imei", "351756051523999", "--since", "2026-12-01T08:00", "--outcome", "ok", "--csv"},
       nullptr},
      {{"journal", "devices", "--json", "--journal", "j.sqlite"}, nullptr},
      {{"verify", "f.ini", "--no-journal"}, nullptr},
      {{"journal", "--since", "yesterday"}, "--since wants"},
      {{"journal", "--csv", "--json"}, "exclude each other"},
      {{"write", "f.ini", "--journal", "j.sqlite", "--no-journal"}, "exclude each other"},
      {{"verify", "f.ini", "--imei", "1"}, "--imei is for journal, provision and labels"},
      {{"journal", "--port", "5"}, "journal takes no connection options"},
      {{"journal", "devices", "extra"}, "unexpected argument 'devices'"},
  };
  for (const auto& row : rows) {
    if (!row.refusal) {
      const Options o = Parse(row.args);
      EXPECT_EQ(o.journalDevices, row.args[1] == "devices") << row.args[1];
      continue;
    }
    EXPECT_NE(Refused(row.args).find(row.refusal), std::string::npos) << row.args[1];
  }
  const Options o = Parse(rows[0].args);
  EXPECT_EQ(o.command, Command::Journal);
  EXPECT_EQ(o.since, "2026-12-01T08:00:00Z");
  EXPECT_EQ(o.imeis, std::vector<std::string>{"351756051523999"});
  EXPECT_TRUE(o.csv);
}

// --port ranges: each port once; refused when empty, reversed or too long.
TEST(ArgsTest, PortRangesNameEachPortOnce) {
  const struct {
    std::string value;
    std::vector<int> ports;  // empty: refused
    const char* refusal;
  } rows[] = {
      {"33,35,40-42", {33, 35, 40, 41, 42}, nullptr},
      {"COM7-com8,5-5", {7, 8, 5}, nullptr},
      {"48-33", {}, "--port range '48-33' runs backwards: give the lower number first (33-48)"},
      {"33-", {}, "--port range '33-' wants a COM number on each side of the -"},
      {"1-" + std::to_string(kMaxPorts + 1), {}, "ports; a range names at most"},
      {"33-40,35", {}, "COM35 is given twice"},
      // Windows' device name of a port is no port on Linux (port/win32 takes it).
      {"\\\\.\\COM12", {},
       "--port wants a COM number (5 or COM5), a range (33-48) or a device (/dev/ttyUSB0), not '\\\\.\\COM12'"},
  };
  for (const auto& row : rows) {
    if (row.ports.empty())
      EXPECT_NE(Refused({"verify", "f.ini", "--port", row.value}).find(row.refusal), std::string::npos)
          << row.value;
    else
      EXPECT_EQ(Parse({"verify", "f.ini", "-p", row.value}).ports, row.ports) << row.value;
  }
}
