#include "cli/Args.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "cli/BatchReport.h"
#include "cmdline/OptionTable.h"
#include "journal/Journal.h"
#include "port/PortDiscovery.h"
#include "protocol/PasswordRule.h"
#include "protocol/TextList.h"
#include "protocol/WholeNumber.h"
#include "settings/Connection.h"

namespace kestrun::cli {

using namespace kestrun::batch;

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return parts;
    start = comma + 1;
  }
}

// A positive decimal number that fits an int, nothing else.
bool ParseNumber(const std::string& text, int& number) {
  if (text.size() > 9 || !IsDigits(text)) return false;
  number = static_cast<int>(*ParseWhole(text));
  return number > 0;
}

// "5", "COM5" or, on Windows, "\\.\COM5": its number.
bool ParseComNumber(std::string text, int& number) {
  if ((number = ComNumberOfDevice(text)) > 0) return true;
  if (Lower(text).rfind("com", 0) == 0) text = text.substr(3);
  return ParseNumber(text, number);
}

// One item of --port: a device path or stable name, a COM number, or a range
// of COM numbers "33-48" (each of which must be a port, as a single number).
bool ParsePortItem(const std::string& item, const std::string& text, Options& o, std::string& error) {
  if (item.rfind('/', 0) == 0) {  // its ports are known only later
    if (std::find(o.portPaths.begin(), o.portPaths.end(), item) != o.portPaths.end()) {
      error = item + " is given twice";
      return false;
    }
    o.portPaths.push_back(item);
    return true;
  }
  const std::size_t dash = item.find('-');
  int first = 0, last = 0;
  if (dash == std::string::npos) {
    if (!ParseComNumber(item, first)) {
      error = "--port wants a COM number (5 or COM5), a range (33-48) or a device (" + std::string(kDeviceExample) +
              "), not '" + text + "'";
      return false;
    }
    last = first;
  } else if (!ParseComNumber(item.substr(0, dash), first) || !ParseComNumber(item.substr(dash + 1), last)) {
    error = "--port range '" + item + "' wants a COM number on each side of the -, such as 33-48";
    return false;
  } else if (last < first) {
    error = "--port range '" + item + "' runs backwards: give the lower number first (" +
            std::to_string(last) + "-" + std::to_string(first) + ")";
    return false;
  } else if (last - first >= kMaxPorts) {
    error = "--port range '" + item + "' names " + std::to_string(last - first + 1) +
            " ports; a range names at most " + std::to_string(kMaxPorts) + ", the most ports a station lists";
    return false;
  }
  for (int number = first; number <= last; ++number) {
    if (std::find(o.ports.begin(), o.ports.end(), number) != o.ports.end()) {
      error = "COM" + std::to_string(number) + " is given twice";
      return false;
    }
    o.ports.push_back(number);
  }
  return true;
}

bool ParsePorts(const std::string& text, Options& o, std::string& error) {
  for (const std::string& item : SplitList(text))
    if (!ParsePortItem(item, text, o, error)) return false;
  return true;
}

// Every command's line in the usage, with what it does.
struct CommandUsage {
  Command command;
  const char* synopsis;
  const char* text;
};

// Each text's lines as the usage shows them, at column 24.
const CommandUsage kCommandUsage[] = {
    {Command::Ports, "ports", R"(list the serial ports: COM number, device, stable names
(/dev/serial/by-id) and whether each opens (and why not))"},
    {Command::Read, "read -o FILE", R"(read every settings group into a config file, written
as Save Config File writes it)"},
    {Command::Write, "write FILE", R"(send the file's settings: every settings group it holds,
in Send All order, with the fences (ID_1..ID_4) and
keypad rows (Key0..Key4) its flags tick; RVRTO is never
sent)"},
    {Command::Diff, "diff FILE", R"(read the tracker and list every key that differs from
the file (groups present in the file))"},
    {Command::Verify, "verify FILE", "write FILE, then read it back and compare what was sent"},
    {Command::Identify, "identify", R"(ask each tracker which it is: IMEI, ICCID, firmware and
signal, in one wake-up; a table or JSON Lines)"},
    {Command::Provision, "provision TEMPLATE", R"(write TEMPLATE with each tracker's own row of
--table CSV merged over it (the row keyed by its IMEI
or COM, or dealt out with --assign), then read it back
and compare; each tracker is journaled)"},
    {Command::Journal, "journal [devices|push]", R"(list the provisioning journal, newest first (read,
write, diff, verify and provision add a row per
tracker); devices: one line per IMEI as last seen;
push: send the rows that wait to the shared server)"},
    {Command::Labels, "labels -o FILE.pdf", R"(a PDF of labels, one per tracker of the journal as last
seen (--imei, --since and --outcome narrow them): IMEI
(as text and QR code), ICCID, firmware and date)"},
};

Command CommandFor(const std::string& word) {
  for (const CommandUsage& usage : kCommandUsage)
    if (word == CommandName(usage.command)) return usage.command;
  return Command::None;
}

// "ports, read, ... or labels": the commands as the usage lists them.
std::string CommandWords() {
  std::string words;
  const std::size_t count = std::size(kCommandUsage);
  for (std::size_t i = 0; i < count; ++i)
    words += std::string(i == 0 ? "" : i + 1 == count ? " or " : ", ") + CommandName(kCommandUsage[i].command);
  return words;
}

std::string CommandLines(Command only) {
  std::string text;
  for (const CommandUsage& c : kCommandUsage) {
    if (only != Command::None && c.command != only) continue;
    std::string line = std::string("  ") + c.synopsis;
    // A synopsis that reaches the text's column stands on a line of its own.
    if (line.size() >= 23) {
      text += line + "\n";
      line.clear();
    }
    for (std::size_t start = 0; start < std::string(c.text).size();) {
      const std::string body = c.text;
      const std::size_t end = std::min(body.find('\n', start), body.size());
      line.resize(24, ' ');
      text += line + body.substr(start, end - start) + "\n";
      line.clear();
      start = end + 1;
    }
  }
  return text;
}

const std::vector<std::string> kConnecting = {"read", "write", "diff", "verify", "identify", "provision"};
const std::vector<std::string> kJournaled = {"read",     "write",     "diff",    "verify",
                                             "identify", "provision", "journal", "labels"};

// The option table of rv450-cli; each option's `take` fills `o`.
COptionTable OptionTable(Options& o) {
  auto flag = [](bool& field) { return [&field](const std::string&, std::string&) { return field = true; }; };
  auto nonEmpty = [](auto& field, std::string message) {
    return [&field, message](const std::string& value, std::string& error) {
      if (value.empty()) error = message;
      field = value;
      return !value.empty();
    };
  };
  return COptionTable({
      {"-p,--port", "N",
       "COM number (5 or COM5) or device (/dev/ttyUSB0, a\n/dev/serial/by-id name); repeat it, or give "
       "a list\nsuch as 5,6,7, a range 33-48 or both (33,35,40-44), to\nwork on several trackers at once",
       [&o](const std::string& value, std::string& error) { return ParsePorts(value, o, error); },
       kConnecting},
      {"-b,--baud", "RATE", BaudListText(" or "),
       [&o](const std::string& value, std::string& error) {
         int rate = 0;
         if (!ParseBaudRate(value, rate)) {
           error = "--baud must be one of " + BaudListText(", ") + ", not '" + value + "'";
           return false;
         }
         o.baudRate = rate;
         return true;
       },
       kConnecting},
      {"--password-file", "FILE",
       "the device password: the first line of FILE, which must\nbe yours and closed to others (chmod 600)",
       nonEmpty(o.passwordFile, "--password-file needs a file"), kConnecting},
      {"--password", "TEXT",
       "the device password; other users can see it (ps), so\nprefer --password-file, RV450_PASSWORD or "
       "--password -,\nwhich asks for it (without echo on a terminal;\notherwise one line of standard input)",
       [&o](const std::string& value, std::string& error) {
         if (value == "-") {
           o.askPassword = true;
           return true;
         }
         if (const std::string fault = PasswordFault(value); !fault.empty()) {
           error = "the password of --password " + fault;
           return false;
         }
         o.password = value;
         return true;
       },
       kConnecting},
      {"--pacing", "MODE", "'specified' (the tracker's documented waits) or 'fast'",
       [&o](const std::string& value, std::string& error) {
         CPacing pacing;
         if (!CPacing::Parse(value, pacing)) {
           error = "--pacing must be 'specified' or 'fast', not '" + value + "'";
           return false;
         }
         o.pacing = pacing;
         return true;
       },
       kConnecting},
      {"--groups",
       "LIST",
       "narrow write/diff/verify/provision to groups:\nsri,bei,tri,geo,bac,kpn,wlt,pin",
       [&o](const std::string& value, std::string& error) {
         GroupSelection groups{};
         if (!ParseGroups(value, groups, error)) return false;
         o.groups = groups;
         return true;
       },
       {"write", "diff", "verify", "provision"}},
      {"--allow-caps",
       "",
       "send values the window would cap, capped, and report\neach (without it such values are refused)",
       flag(o.allowCaps),
       {"write", "verify", "provision"}},
      {"--dry-run",
       "",
       "print each port's lines that would be sent (the stamp as\n<UTC>, the password as ****); no port is "
       "opened\n(provision: with an IMEI table or --assign each tracker\nis identified, read-only; nothing "
       "is written or claimed)",
       flag(o.dryRun),
       {"write", "verify", "provision"}},
      {"--table",
       "CSV",
       "provision: the per-tracker table; one row per tracker,\nkeyed by an IMEI or COM column, every "
       "other column\nSECTION/Key overriding the template (an empty cell\nkeeps it), RVSRI/IP or RVBEI/IP "
       "as a.b.c.d, or #Name\nfor notes",
       nonEmpty(o.table, "--table needs a CSV file"),
       {"provision"}},
      {"--assign",
       "",
       "deal the rows of a table without a key column to the\ntrackers in order; the journal remembers "
       "which row went\nto which IMEI, so no row is given twice",
       flag(o.assign),
       {"provision"}},
      {"--skip-done",
       "",
       "skip trackers whose last journal row shows these same\nsettings provisioned and verified",
       flag(o.skipDone),
       {"provision"}},
      {"--watch",
       "",
       "station mode: start on each port when its tracker is\nplugged in (ports may be absent at start); a line on\nstandard "
       "input starts the next tracker on every\nfinished port whose device stayed; runs until Ctrl+C\nor the end of "
       "the input (provision skips done trackers)",
       flag(o.watch),
       {"identify", "verify", "provision"}},
      {"-o,--output",
       "FILE",
       "the file read writes; with several ports each gets\n-<IMEI> (or -COM<N>) before its extension; "
       "labels:\nthe PDF",
       [&o](const std::string& value, std::string&) {
         o.outputFile = value;
         return true;
       },
       {"read", "labels"}},
      {"--layout",
       "NAME",
       "labels: a4-3x8 (A4, 3 x 8 labels of 70 x 36 mm, the\ndefault) or 62x29 (one 62 x 29 mm label a "
       "page, for\nlabel printers)",
       [&o](const std::string& value, std::string& error) {
         if (ParseLabelLayout(value, o.layout)) return true;
         error = "--layout must be " + JoinedWith(LabelLayoutNames(), " or ") + ", not '" + value + "'";
         return false;
       },
       {"labels"}},
      {"--no-identify",
       "",
       "no identity queries (IMEI, ICCID, signal) after the\nwake-up, no second AT+CGSN at the end of write "
       "and\nread back: the window's exact bytes",
       flag(o.noIdentify),
       {"read", "write", "diff", "verify"}},
      {"--log-dir", "DIR",
       "write the traffic log there: AtLog.log, or\nAtLog-COM<N>.log per port with several ports",
       nonEmpty(o.logDir, "--log-dir needs a folder"), kConnecting},
      {"--journal", "PATH",
       "the journal file, or a shared server postgresql://...\nor libpq's keyword=value pairs (default: "
       "$RV450_JOURNAL,\nelse $XDG_DATA_HOME/rv450-kestrun/journal.sqlite);\nput its password in ~/.pgpass "
       "or "
       "PGPASSWORD",
       nonEmpty(o.journalPath, "--journal needs a file"), kJournaled},
      {"--no-journal", "", "add no row to the journal", flag(o.noJournal), kConnecting},
      {"--report", "FILE",
       "write each tracker's row (as the journal's, with outcome\nand message) to FILE.csv or FILE.json",
       [&o](const std::string& value, std::string& error) {
         ReportFormat format;
         o.reportFile = value;
         return ReportFormatOf(value, format, error);
       },
       kConnecting},
      {"--imei",
       "IMEI",
       "journal: only these trackers' rows; provision: only the\ntrackers with these IMEIs (a comma list) are "
       "written,\nthe others are skipped; labels: these trackers' labels",
       [&o](const std::string& value, std::string& error) {
         if (value.empty()) {
           error = "--imei needs a number";
           return false;
         }
         for (const std::string& part : SplitList(value))
           if (std::find(o.imeis.begin(), o.imeis.end(), part) == o.imeis.end()) o.imeis.push_back(part);
         return true;
       },
       {"journal", "provision", "labels"}},
      {"--since",
       "UTC",
       "only rows from then on: 2026-12-01 or 2026-12-01T08:00",
       [&o](const std::string& value, std::string& error) {
         if (journal::ParseSince(value, o.since)) return true;
         error = "--since wants 2026-12-01 or 2026-12-01T08:00 (UTC), not '" + value + "'";
         return false;
       },
       {"journal", "labels"}},
      {"--outcome",
       "WORD",
       "only rows with this outcome (ok, tracker-failed, ...);\nfailed: every failed tracker (status 3 and "
       "up, or\ndifferences after a write)",
       nonEmpty(o.outcome, "--outcome needs a word"),
       {"journal", "labels"}},
      {"--csv", "", "comma-separated values with a header line", flag(o.csv), {"journal"}},
      {"--latest",
       "",
       "each tracker's newest row only (with --outcome failed:\nthe trackers still failing)",
       flag(o.latest),
       {"journal"}},
      {"--limit",
       "N",
       "at most N rows, newest first (0: all; default: all on a\npipe, 200 on a terminal)",
       [&o](const std::string& value, std::string& error) {
         int number = 0;
         if (value == "0" || ParseNumber(value, number)) {
           o.limit = number;
           return true;
         }
         error = "--limit wants a number of rows (0: all), not '" + value + "'";
         return false;
       },
       {"journal"}},
      {"--local",
       "",
       "with a shared journal set: this station's rows only,\nwithout asking the server",
       flag(o.localOnly),
       {"journal"}},
      {"--with-columns",
       "LIST",
       "journal devices: add these notes columns of the table,\nnamed with their # (#Vehicle,#Depot)",
       [&o](const std::string& value, std::string& error) {
         for (const std::string& name : SplitList(value)) {
           if (name.size() > 1 && name[0] == '#') {
             if (std::find(o.withColumns.begin(), o.withColumns.end(), name) == o.withColumns.end())
               o.withColumns.push_back(name);
           } else if (name.find('/') != std::string::npos) {
             error = "--with-columns takes notes columns only: '" + name +
                     "' is a SECTION/Key column, which may hold a PIN or a password, and is never exported";
             return false;
           } else {
             error =
                 "--with-columns takes notes columns named as in the table, with their # (#Vehicle), not '" +
                 name + "'";
             return false;
           }
         }
         return true;
       },
       {"journal"}},
      {"--json", "",
       "JSON Lines: one object per port on standard output\n(members: man rv450-cli, JSON OUTPUT)",
       flag(o.json)},
      {"-q,--quiet", "",
       "only failures and the results themselves (a diff's\ndifferences): no progress, no closing table",
       flag(o.quiet)},
      {"-h,--help", "", "this text", flag(o.help)},
      {"-V,--version", "", "the version", flag(o.version)},
  });
}

}  // namespace

bool ParseGroups(const std::string& text, GroupSelection& groups, std::string& error) {
  groups.fill(false);
  for (const std::string& part : SplitList(text)) {
    std::string name = Lower(part);
    if (name.rfind("rv", 0) == 0) name = name.substr(2);
    bool known = false;
    for (const GroupInfo& info : AllGroups()) {
      if (name != Lower(info.name)) continue;
      if (info.group == Group::Rto) {
        error = "RVRTO is an action (reboot, factory reset, power off), not a setting; it is never sent";
        return false;
      }
      groups[static_cast<int>(info.group)] = known = true;
    }
    if (!known) {
      error = "unknown group '" + part + "' in --groups (use sri, bei, tri, geo, bac, kpn, wlt, pin)";
      return false;
    }
  }
  return true;
}

bool ParseArgs(const std::vector<std::string>& args, Options& options, std::string& error) {
  options = Options();
  std::vector<std::string> operands;
  std::vector<std::size_t> given;
  const COptionTable table = OptionTable(options);
  if (!table.Parse(args, operands, error, false, &given)) return false;
  // "help COMMAND" is "COMMAND --help".
  if (!operands.empty() && operands[0] == "help") {
    options.help = true;
    operands.erase(operands.begin());
  }
  if (options.help || options.version) {
    if (options.help && !operands.empty()) {
      options.command = CommandFor(operands[0]);
      if (options.command == Command::None) {
        error = "unknown command '" + operands[0] + "' (" + CommandWords() + ")";
        return false;
      }
    }
    return true;
  }
  if (options.password.has_value() + options.passwordFile.has_value() + options.askPassword > 1) {
    error = "give the password one way: --password TEXT, --password-file FILE or --password -";
    return false;
  }

  if (operands.empty()) {
    error = "no command given (" + CommandWords() + "; see --help)";
    return false;
  }
  options.command = CommandFor(operands[0]);
  if (options.command == Command::None) {
    error = "unknown command '" + operands[0] + "' (" + CommandWords() + ")";
    return false;
  }
  const std::string name = operands[0];
  const bool takesFile = options.command == Command::Write || options.command == Command::Diff ||
                         options.command == Command::Verify || options.command == Command::Provision;
  if (takesFile) {
    if (operands.size() < 2) {
      error = name + (options.command == Command::Provision ? " needs a template config file"
                                                            : " needs a config file");
      return false;
    }
    options.file = operands[1];
  }
  if (options.command == Command::Journal && operands.size() == 2 &&
      (operands[1] == "devices" || operands[1] == "push")) {
    (operands[1] == "push" ? options.journalPush : options.journalDevices) = true;
    operands.pop_back();
  }
  if (operands.size() > (takesFile ? 2u : 1u)) {
    error = "unexpected argument '" + operands[takesFile ? 2 : 1] + "'";
    return false;
  }
  // Each option only with the commands the table gives it.
  for (const std::size_t index : given) {
    if (table.Takes(index, name)) continue;
    const OptionEntry& entry = table.options()[index];
    const std::string option = entry.names.substr(0, entry.names.find(','));
    if (entry.commands == kConnecting) {
      error = name + " takes no connection options (" + option + ")";
    } else {
      error = option + " is for ";
      for (std::size_t i = 0; i < entry.commands.size(); ++i)
        error += (i == 0 ? "" : i + 1 == entry.commands.size() ? " and " : ", ") + entry.commands[i];
      error += entry.commands.size() == 1 ? " only" : "";
    }
    error += " (see rv450-cli help " + name + ")";
    return false;
  }
  if (options.csv && options.json) {
    error = "--csv and --json exclude each other";
    return false;
  }
  if (!options.withColumns.empty() && !options.journalDevices) {
    error =
        "--with-columns is for 'journal devices' (the rows of 'journal' hold every notes cell in their notes "
        "column)";
    return false;
  }
  if (options.dryRun && !options.reportFile.empty()) {
    error = "--report and --dry-run exclude each other (a dry run talks to no tracker)";
    return false;
  }
  if (options.watch && options.dryRun) {
    error = "--watch and --dry-run exclude each other";
    return false;
  }
  if (options.noJournal && !options.journalPath.empty()) {
    error = "--journal and --no-journal exclude each other";
    return false;
  }
  if (options.command == Command::Provision && options.table.empty()) {
    error = "provision needs --table FILE.csv, the per-tracker table";
    return false;
  }
  if (options.assign && options.noJournal) {
    error = "--assign needs the journal: it remembers which row went to which tracker (drop --no-journal)";
    return false;
  }
  if (options.skipDone && options.noJournal) {
    error = "--skip-done needs the journal: it tells which trackers are done (drop --no-journal)";
    return false;
  }
  if (options.command == Command::Read && options.outputFile.empty()) {
    error = "read needs -o FILE, the config file to write";
    return false;
  }
  if (options.command == Command::Labels && options.outputFile.empty()) {
    error = "labels needs -o FILE.pdf, the PDF to write";
    return false;
  }
  return true;
}

std::vector<std::string> OptionNames() {
  Options unused;
  return OptionTable(unused).Names();
}

std::vector<OptionEntry> DocumentedOptions() {
  Options unused;
  std::vector<OptionEntry> options = OptionTable(unused).options();
  for (OptionEntry& option : options) option.take = nullptr;  // it would fill `unused`
  return options;
}

std::string UsageText(Command command) {
  Options unused;
  if (command != Command::None) {
    for (const CommandUsage& c : kCommandUsage)
      if (c.command == command)
        return std::string("Usage: rv450-cli ") + c.synopsis + " [OPTIONS]\n\n" + CommandLines(command) +
               "\nOptions:\n" + OptionTable(unused).Help(24, CommandName(command)) +
               "\nExit status and everything else: rv450-cli --help, man rv450-cli.\n";
  }
  return R"(Usage: rv450-cli COMMAND [FILE] [OPTIONS]
       rv450-cli help COMMAND      (or COMMAND --help): that command's options

Reads, writes and checks RV450 trackers on serial ports, one or many at once.

Commands:
)" + CommandLines(Command::None) +
         R"(
Options:
)" + OptionTable(unused).Help() +
         R"(
Without --port, --baud or --password the values of MainSetting.ini in the
working folder are used when it exists (its ComPort is a position in the list
that 'rv450-cli ports' shows, and Pacing=fast there chooses 'fast');
otherwise the password is )" +
         std::string(kDefaultPassword) + R"(, the baud rate )" + std::to_string(kDefaultBaudRate) +
         R"( and the pacing
'specified'. Without --log-dir no traffic log is written.

read, write, diff, verify and provision add one row per tracker to the journal,
$XDG_DATA_HOME/rv450-kestrun/journal.sqlite (--journal PATH, --no-journal);
a journal that cannot be opened stops them with status 2 before any port.
With --journal postgresql://... (or RV450_JOURNAL; the option wins) the rows
go to that shared server as well, through the local journal: rows the server
did not take wait there for the next run or 'rv450-cli journal push', which
ends with status 5 while the server cannot take them.

The password comes from the first of: --password, --password-file or
--password - (one of them at most); the environment variable RV450_PASSWORD
when it is set and not empty; GenPassword in MainSetting.ini; )" +
         std::string(kDefaultPassword) + R"(. Wherever it
comes from, it must hold no comma and no control character.

read -o and --report make a new file 0600, whatever the umask; an existing
file of yours keeps its mode. Another user's file in a sticky folder anyone
may write to (/tmp) is not replaced (status 2). In CSV (--report FILE.csv,
journal --csv) a cell that starts with =, +, -, @, TAB or CR gets a leading '
unless it is a number or a phone number (+4917...); control bytes are \xHH.

Results go to standard output, progress and messages to standard error;
progress is redrawn in place only on a terminal whose TERM is not 'dumb'.
With --json a usage error (exit 2) is also one object on standard output:
{"schema": 1, "error": "...", "exitCode": 2}.

Exit status:
  0    done (and equal, for diff and verify)
  1    differences found
  2    bad usage or a bad input file (no port was touched)
  3    a port did not open
  4    the tracker failed (no response, a refused line, a lost port), or another
       tracker was on the cable by the end of the run (tracker-changed)
  5    the tracker was read but the result could not be written (a full disk)
  130  interrupted (Ctrl+C); every port's operation was stopped and its port
       closed
With several ports the highest status wins; a closing table lists each port.
)";
}

}  // namespace kestrun::cli
