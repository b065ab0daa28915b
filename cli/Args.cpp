#include "cli/Args.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "protocol/PasswordRule.h"
#include "settings/MainSettings.h"

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

bool ParseBaud(const std::string& text, int& rate, std::string& error) {
  for (const char* item : kBaudItems)
    if (text == item) {
      rate = std::atoi(item);
      return true;
    }
  error = "--baud must be one of 57600, 115200, 230400, 460800, 921600, not '" + text + "'";
  return false;
}

Command CommandFor(const std::string& word) {
  if (word == "ports") return Command::Ports;
  if (word == "read") return Command::Read;
  if (word == "write") return Command::Write;
  if (word == "diff") return Command::Diff;
  if (word == "verify") return Command::Verify;
  return Command::None;
}

// The options that take a value, with their short forms.
bool TakesValue(const std::string& name) {
  static const char* const kNames[] = {"--port",   "--baud",   "--password", "--password-file",
                                       "--pacing", "--groups", "--log-dir",  "--output",
                                       "-p",       "-b",       "-o"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// An argument that reads as an option: a long one, or one of the short ones.
// Taken as the value of the option before it, it would hide a forgotten value
// ("-o --json" writing a file named --json).
bool LooksLikeOption(const std::string& arg) {
  static const char* const kShort[] = {"-p", "-b", "-o", "-q", "-h", "-V"};
  return (arg.size() > 2 && arg.rfind("--", 0) == 0) ||
         std::find(std::begin(kShort), std::end(kShort), arg.substr(0, 2)) != std::end(kShort);
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
  bool onlyOperands = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (onlyOperands || arg.empty() || arg[0] != '-' || arg == "-") {
      operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyOperands = true;
      continue;
    }
    std::string value;
    bool hasValue = false;
    if (arg.rfind("--", 0) == 0) {
      const std::size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        hasValue = true;
        if (!TakesValue(arg)) {
          error = "option " + arg + " takes no value";
          return false;
        }
      }
    } else if (arg.size() > 2 && TakesValue(arg.substr(0, 2))) {
      value = arg.substr(2);  // -p5, -ofile.ini
      arg = arg.substr(0, 2);
      hasValue = true;
    }
    if (TakesValue(arg) && !hasValue) {
      if (i + 1 >= args.size()) {
        error = "option " + arg + " needs a value";
        return false;
      }
      if (LooksLikeOption(args[i + 1])) {
        error = "option " + arg + " needs a value, not the option " + args[i + 1] +
                " (a value that starts with - goes right after it: " + arg + (arg.size() > 2 ? "=" : "") +
                "VALUE)";
        return false;
      }
      value = args[++i];
    }

    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version" || arg == "-V") {
      options.version = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--quiet" || arg == "-q") {
      options.quiet = true;
    } else if (arg == "--allow-caps") {
      options.allowCaps = true;
    } else if (arg == "--port" || arg == "-p") {
      if (!ParsePorts(value, options.ports, error)) return false;
    } else if (arg == "--baud" || arg == "-b") {
      int rate = 0;
      if (!ParseBaud(value, rate, error)) return false;
      options.baudRate = rate;
    } else if (arg == "--password") {
      if (value == "-") {
        options.askPassword = true;
      } else if (const std::string fault = PasswordFault(value); !fault.empty()) {
        error = "the password of --password " + fault;
        return false;
      } else {
        options.password = value;
      }
    } else if (arg == "--password-file") {
      if (value.empty()) {
        error = "--password-file needs a file";
        return false;
      }
      options.passwordFile = value;
    } else if (arg == "--pacing") {
      if (value != "specified" && value != "fast") {
        error = "--pacing must be 'specified' or 'fast', not '" + value + "'";
        return false;
      }
      options.pacing = value == "fast" ? CPacing::Fast() : CPacing::Specified();
    } else if (arg == "--groups") {
      GroupSelection groups{};
      if (!ParseGroups(value, groups, error)) return false;
      options.groups = groups;
    } else if (arg == "--log-dir") {
      if (value.empty()) {
        error = "--log-dir needs a folder";
        return false;
      }
      options.logDir = value;
    } else if (arg == "--output" || arg == "-o") {
      options.outputFile = value;
    } else {
      error = "unknown option " + arg + " (see --help)";
      return false;
    }
  }
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

std::string UsageText() {
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
  -p, --port N          COM number (5 or COM5); repeat it, or give 5,6,7, to work
                        on several trackers at once
  -b, --baud RATE       57600, 115200, 230400, 460800 or 921600
      --password-file FILE
                        the device password: the first line of FILE, which must
                        be yours and closed to others (chmod 600)
      --password -      ask for the device password (without echo on a terminal;
                        otherwise one line of standard input)
      --password TEXT   the device password; other users can see it (ps), so
                        prefer one of the two above or RV450_PASSWORD
      --pacing MODE     'specified' (the tracker's documented waits) or 'fast'
      --groups LIST     narrow write/diff/verify to groups: sri,bei,tri,geo,bac,kpn,wlt,pin
      --allow-caps      send values the window would cap, capped, and report each
                        (without it such values are refused)
  -o, --output FILE     the file read writes; with several ports each gets
                        -COM<N> before its extension
      --log-dir DIR     write the traffic log there: AtLog.log, or AtLog-COM<N>.log
                        per port with several ports
      --json            one JSON object per port on standard output
  -q, --quiet           no progress on standard error
  -h, --help            this text
  -V, --version         the version

Without --port, --baud or --password the values of MainSetting.ini in the
working folder are used when it exists (its ComPort is a position in the list
that 'rv450-cli ports' shows, and Pacing=fast there chooses 'fast'); otherwise the password is 5830, the baud rate
115200 and the pacing 'specified'. Without --log-dir no traffic log is written.

The password comes from the first of: --password, --password-file or
--password - (one of them at most); the environment variable RV450_PASSWORD
when it is set and not empty; GenPassword in MainSetting.ini; 5830. Wherever it
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
