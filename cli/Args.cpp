#include "cli/Args.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "cmdline/OptionTable.h"
#include "protocol/PasswordRule.h"
#include "settings/Connection.h"

namespace kestrun::cli {

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
  if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), ::isdigit)) return false;
  number = std::atoi(text.c_str());
  return number > 0;
}

bool ParsePorts(const std::string& text, std::vector<int>& ports, std::string& error) {
  for (std::string part : SplitList(text)) {
    if (Lower(part).rfind("com", 0) == 0) part = part.substr(3);
    int number = 0;
    if (!ParseNumber(part, number)) {
      error = "--port wants a COM number (5 or COM5), not '" + text + "'";
      return false;
    }
    if (std::find(ports.begin(), ports.end(), number) != ports.end()) {
      error = "COM" + std::to_string(number) + " is given twice";
      return false;
    }
    ports.push_back(number);
  }
  return true;
}

Command CommandFor(const std::string& word) {
  if (word == "ports") return Command::Ports;
  if (word == "read") return Command::Read;
  if (word == "write") return Command::Write;
  if (word == "diff") return Command::Diff;
  if (word == "verify") return Command::Verify;
  return Command::None;
}

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
       "COM number (5 or COM5); repeat it, or give 5,6,7, to work\non several trackers at once",
       [&o](const std::string& value, std::string& error) { return ParsePorts(value, o.ports, error); }},
      {"-b,--baud", "RATE", BaudListText(" or "),
       [&o](const std::string& value, std::string& error) {
         int rate = 0;
         if (!ParseBaudRate(value, rate)) {
           error = "--baud must be one of " + BaudListText(", ") + ", not '" + value + "'";
           return false;
         }
         o.baudRate = rate;
         return true;
       }},
      {"--password-file", "FILE",
       "the device password: the first line of FILE, which must\nbe yours and closed to others (chmod 600)",
       nonEmpty(o.passwordFile, "--password-file needs a file")},
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
       }},
      {"--pacing", "MODE", "'specified' (the tracker's documented waits) or 'fast'",
       [&o](const std::string& value, std::string& error) {
         CPacing pacing;
         if (!CPacing::Parse(value, pacing)) {
           error = "--pacing must be 'specified' or 'fast', not '" + value + "'";
           return false;
         }
         o.pacing = pacing;
         return true;
       }},
      {"--groups", "LIST", "narrow write/diff/verify to groups: sri,bei,tri,geo,bac,kpn,wlt,pin",
       [&o](const std::string& value, std::string& error) {
         GroupSelection groups{};
         if (!ParseGroups(value, groups, error)) return false;
         o.groups = groups;
         return true;
       }},
      {"--allow-caps", "",
       "send values the window would cap, capped, and report each\n(without it such values are refused)",
       flag(o.allowCaps)},
      {"-o,--output", "FILE",
       "the file read writes; with several ports each gets\n-COM<N> before its extension",
       [&o](const std::string& value, std::string&) {
         o.outputFile = value;
         return true;
       }},
      {"--log-dir", "DIR",
       "write the traffic log there: AtLog.log, or AtLog-COM<N>.log\nper port with several ports",
       nonEmpty(o.logDir, "--log-dir needs a folder")},
      {"--json", "", "one JSON object per port on standard output", flag(o.json)},
      {"-q,--quiet", "", "no progress on standard error", flag(o.quiet)},
      {"-h,--help", "", "this text", flag(o.help)},
      {"-V,--version", "", "the version", flag(o.version)},
  });
}

}  // namespace

const char* CommandName(Command command) {
  switch (command) {
    case Command::Ports: return "ports";
    case Command::Read: return "read";
    case Command::Write: return "write";
    case Command::Diff: return "diff";
    case Command::Verify: return "verify";
    case Command::None: break;
  }
  return "";
}

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
  if (!OptionTable(options).Parse(args, operands, error)) return false;
  if (options.help || options.version) return true;
  if (options.password.has_value() + options.passwordFile.has_value() + options.askPassword > 1) {
    error = "give the password one way: --password TEXT, --password-file FILE or --password -";
    return false;
  }

  if (operands.empty()) {
    error = "no command given (ports, read, write, diff or verify; see --help)";
    return false;
  }
  options.command = CommandFor(operands[0]);
  if (options.command == Command::None) {
    error = "unknown command '" + operands[0] + "' (ports, read, write, diff or verify)";
    return false;
  }
  const std::string name = operands[0];
  const bool takesFile = options.command == Command::Write || options.command == Command::Diff ||
                         options.command == Command::Verify;
  if (takesFile) {
    if (operands.size() < 2) {
      error = name + " needs a config file";
      return false;
    }
    options.file = operands[1];
  }
  if (operands.size() > (takesFile ? 2u : 1u)) {
    error = "unexpected argument '" + operands[takesFile ? 2 : 1] + "'";
    return false;
  }
  if (options.command == Command::Read && options.outputFile.empty()) {
    error = "read needs -o FILE, the config file to write";
    return false;
  }
  if (options.command != Command::Read && !options.outputFile.empty()) {
    error = "-o is for read only";
    return false;
  }
  if (options.groups && options.command != Command::Write && options.command != Command::Diff &&
      options.command != Command::Verify) {
    error = "--groups is for write, diff and verify";
    return false;
  }
  if (options.allowCaps && options.command != Command::Write && options.command != Command::Verify) {
    error = "--allow-caps is for write and verify";
    return false;
  }
  if (options.command == Command::Ports &&
      (!options.ports.empty() || options.baudRate || options.password || options.passwordFile ||
       options.askPassword || options.pacing || !options.logDir.empty())) {
    error = "ports takes no connection options";
    return false;
  }
  return true;
}

std::vector<std::string> OptionNames() {
  Options unused;
  return OptionTable(unused).Names();
}

std::string UsageText() {
  Options unused;
  return R"(Usage: rv450-cli COMMAND [FILE] [OPTIONS]

Reads, writes and checks RV450 trackers on serial ports, one or many at once.

Commands:
  ports                 list the serial ports: COM number, device, stable names
                        (/dev/serial/by-id) and whether each opens (and why not)
  read -o FILE          read every settings group into a config file, written
                        as Save Config File writes it
  write FILE            send the file's settings: every settings group it holds,
                        in Send All order, with the fences (ID_1..ID_4) and keypad
                        rows (Key0..Key4) its flags tick; RVRTO is never sent
  diff FILE             read the tracker and list every key that differs from the
                        file (groups present in the file)
  verify FILE           write FILE, then read it back and compare what was sent

Options:
)" + OptionTable(unused).Help() +
         R"(
Without --port, --baud or --password the values of MainSetting.ini in the
working folder are used when it exists (its ComPort is a position in the list
that 'rv450-cli ports' shows, and Pacing=fast there chooses 'fast'); otherwise the password is )" +
         std::string(kDefaultPassword) + R"(, the baud rate
)" + std::to_string(kDefaultBaudRate) +
         R"( and the pacing 'specified'. Without --log-dir no traffic log is written.

The password comes from the first of: --password, --password-file or
--password - (one of them at most); the environment variable RV450_PASSWORD
when it is set and not empty; GenPassword in MainSetting.ini; )" +
         std::string(kDefaultPassword) + R"(. Wherever it
comes from, it must hold no comma and no control character.

Results go to standard output, progress and messages to standard error.

Exit status:
  0    done (and equal, for diff and verify)
  1    differences found
  2    bad usage or a bad input file (no port was touched)
  3    a port did not open
  4    the tracker failed (no response, a refused line, a lost port)
  5    the tracker was read but the result could not be written (a full disk)
  130  interrupted (Ctrl+C); every port's operation was stopped and its port closed
With several ports the highest status wins; a closing table lists each port.
)";
}

}  // namespace kestrun::cli
