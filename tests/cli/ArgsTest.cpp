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
  // Ranges name each port once.
  EXPECT_EQ(Parse({"verify", "f.ini", "-p", "33,35,40-42"}).ports, (std::vector<int>{33, 35, 40, 41, 42}));
  EXPECT_EQ(Parse({"verify", "f.ini", "-p", "COM7-com8,5-5"}).ports, (std::vector<int>{7, 8, 5}));

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
  for (const auto& args :
       {std::vector<std::string>{"write", "--help"}, {"write", "-h"}, {"help", "write"}, {"-h", "write"}}) {
    o = Parse(args);
    EXPECT_TRUE(o.help);
    EXPECT_EQ(o.command, Command::Write) << args[0];
  }
  EXPECT_EQ(Parse({"help"}).command, Command::None);
  EXPECT_TRUE(Parse({"--version"}).version);

  // journal and its filters.
  o = Parse(
      {"journal", "--imei", "351756051523999", "--since", "2026-12-01T08:00", "--outcome", "ok", "--csv"});
  EXPECT_EQ(o.command, Command::Journal);
  EXPECT_EQ(o.since, "2026-12-01T08:00:00Z");
  EXPECT_EQ(o.imeis, std::vector<std::string>{"351756051523999"});
  EXPECT_TRUE(o.csv);
  EXPECT_FALSE(o.journalDevices);
  EXPECT_TRUE(Parse({"journal", "devices", "--json", "--journal", "j.sqlite"}).journalDevices);
  Parse({"verify", "f.ini", "--no-journal"});

  // --groups narrows (RVRTO is refused below).
  o = Parse({"write", "f.ini", "--groups", "sri,RVBEI,Pin"});
  ASSERT_TRUE(o.groups.has_value());
  GroupSelection expected{};
  expected[static_cast<int>(Group::Sri)] = expected[static_cast<int>(Group::Bei)] =
      expected[static_cast<int>(Group::Pin)] = true;
  EXPECT_EQ(*o.groups, expected);
}

// Every refused command line, and what its error says.
TEST(ArgsTest, BadCommandLinesSayWhat) {
  const struct {
    std::vector<std::string> args;
    std::string said;
  } rows[] = {
      {{}, "no command"},
      {{"flash"}, "unknown command 'flash'"},
      {{"help", "flash"}, "unknown command 'flash'"},
      {{"write"}, "needs a config file"},
      {{"read"}, "-o FILE"},
      {{"diff", "a.ini", "b.ini"}, "unexpected argument 'b.ini'"},
      {{"ports", "extra"}, "unexpected argument"},
      {{"write", "a.ini", "-o", "x.ini"}, "-o is for read and labels"},
      {{"diff", "a.ini", "--allow-caps"}, "--allow-caps is for write, verify and provision"},
      {{"read", "-o", "x", "--dry-run"}, "--dry-run is for write, verify and provision"},
      {{"read", "-o", "x", "--groups", "sri"}, "--groups"},
      {{"ports", "--port", "5"}, "no connection options"},
      {{"ports", "--password-file", "pw"}, "no connection options"},
      {{"write", "a.ini", "--port"}, "needs a value"},
      // An option where a value belongs is a forgotten value, not a file named --json.
      {{"read", "-o", "--json", "-p", "5"}, "-o needs a value, not the option --json"},
      {{"write", "a.ini", "--log-dir", "-q"}, "not the option -q"},
      {{"write", "a.ini", "--password-file", "--json"}, "not the option --json"},
      {{"write", "a.ini", "--port", "five"}, "COM number"},
      {{"write", "a.ini", "--port", "0"}, "COM number"},
      {{"write", "a.ini", "--port", "5", "--port", "COM5"}, "twice"},
      {{"write", "a.ini", "--baud", "9600"}, "57600"},
      {{"write", "a.ini", "--baud", "115200x"}, BaudListText(", ")},
      {{"write", "a.ini", "--pacing", "slow"}, "'slow'"},
      {{"write", "a.ini", "--password", "58,30"}, "comma"},
      {{"write", "a.ini", "--password", "1", "--password-file", "pw"}, "give the password one way"},
      {{"write", "a.ini", "--password=-", "--password-file", "pw"}, "give the password one way"},
      {{"write", "a.ini", "--password", "-", "--password", "5830"}, "give the password one way"},
      {{"write", "a.ini", "--frobnicate"}, "unknown option --frobnicate"},
      {{"write", "a.ini", "--json=yes"}, "takes no value"},
      {{"write", "a.ini", "--log-dir="}, "needs a folder"},
      {{"write", "f.ini", "--groups", "sri,rto"}, "RVRTO"},
      {{"write", "f.ini", "--groups", "sri,xyz"}, "xyz"},
      {{"write", "f.ini", "--groups", ""}, "unknown group"},
      {{"journal", "--since", "yesterday"}, "--since wants"},
      {{"journal", "--csv", "--json"}, "exclude each other"},
      {{"write", "f.ini", "--journal", "j.sqlite", "--no-journal"}, "exclude each other"},
      {{"verify", "f.ini", "--imei", "1"}, "--imei is for journal, provision and labels"},
      {{"journal", "--port", "5"}, "journal takes no connection options"},
      {{"journal", "devices", "extra"}, "unexpected argument 'devices'"},
      // --port ranges: refused when empty, reversed, too long or naming a port twice.
      {{"verify", "f.ini", "--port", "48-33"},
       "--port range '48-33' runs backwards: give the lower number first (33-48)"},
      {{"verify", "f.ini", "--port", "33-"}, "--port range '33-' wants a COM number on each side of the -"},
      {{"verify", "f.ini", "--port", "1-" + std::to_string(kMaxPorts + 1)}, "ports; a range names at most"},
      {{"verify", "f.ini", "--port", "33-40,35"}, "COM35 is given twice"},
      // Windows' device name of a port is no port on Linux (port/win32 takes it).
      {{"verify", "f.ini", "--port", "\\\\.\\COM12"},
       "--port wants a COM number (5 or COM5), a range (33-48) or a device (/dev/ttyUSB0), "
       "not '\\\\.\\COM12'"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.said);
    const std::string error = Refused(row.args);
    EXPECT_NE(error.find(row.said), std::string::npos) << error;
  }
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
    std::vector<std::string> line, shown, hidden;  // hidden: as added to `line`
  } rows[] = {
      {{"ports"}, {"--json", "--quiet"}, {"--port=1", "--output=1", "--groups=sri", "--dry-run"}},
      {{"read", "-ox"}, {"--port", "--output", "--log-dir"}, {"--groups=sri", "--allow-caps", "--dry-run"}},
      {{"write", "a.ini"}, {"--port", "--groups", "--allow-caps", "--dry-run"}, {"--output=1"}},
      {{"diff", "a.ini"}, {"--port", "--groups"}, {"--allow-caps", "--dry-run", "--output=1"}},
      {{"verify", "a.ini"}, {"--dry-run", "--allow-caps"}, {"--output=1"}},
  };
  for (const auto& row : rows) {
    const std::string help = UsageText(Parse(row.line).command);
    EXPECT_EQ(help.rfind("Usage: rv450-cli " + row.line[0], 0), 0u) << help;
    for (const std::string& option : row.shown) EXPECT_NE(help.find(option), std::string::npos) << option;
    for (const std::string& option : row.hidden) {
      EXPECT_EQ(help.find(option.substr(0, option.find('='))), std::string::npos) << option;
      std::vector<std::string> args = row.line;
      args.push_back(option);
      EXPECT_FALSE(Refused(args).empty()) << option;
    }
  }
}

TEST(ArgsTest, PacingAndBaudComeFromTheirOneList) {
  for (const auto& [pacing, expected] :
       {std::pair{"fast", CPacing::Fast()}, std::pair{"FAST", CPacing::Fast()},
        std::pair{"Specified", CPacing::Specified()}})
    EXPECT_EQ(Parse({"write", "a.ini", "--pacing", pacing}).pacing, expected) << pacing;
  for (const int rate : kBaudRates)
    EXPECT_EQ(Parse({"write", "a.ini", "-b", std::to_string(rate)}).baudRate, rate);
}
