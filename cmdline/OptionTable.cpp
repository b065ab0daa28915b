#include "cmdline/OptionTable.h"

#include <CLI/CLI.hpp>
#include <algorithm>

namespace kestrun {

namespace {

// Thrown out of CLI11 by an option's `take` that refused its value; the
// reason is already in the caller's `error`.
struct Refused {};

// "-p,--port" -> {"-p", "--port"}.
std::vector<std::string> SplitNames(const std::string& names) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= names.size()) {
    const std::size_t comma = std::min(names.find(',', start), names.size());
    if (comma > start) parts.push_back(names.substr(start, comma - start));
    start = comma + 1;
  }
  return parts;
}

}  // namespace

std::vector<std::string> COptionTable::Names() const {
  std::vector<std::string> names;
  for (const OptionEntry& option : options_)
    for (const std::string& name : SplitNames(option.names)) names.push_back(name);
  return names;
}

bool COptionTable::Parse(const std::vector<std::string>& args, std::vector<std::string>& operands,
                         std::string& error, bool keepUnknown, std::vector<std::size_t>* given) const {
  CLI::App app;
  app.set_help_flag();
  if (given) given->clear();
  for (std::size_t i = 0; i < options_.size(); ++i) {
    const OptionEntry& entry = options_[i];
    auto take = [&entry, &error, given, i](const std::string& value) {
      if (given && std::find(given->begin(), given->end(), i) == given->end()) given->push_back(i);
      if (!entry.take(value, error)) throw Refused{};
    };
    if (entry.valueName.empty()) {
      app.add_flag_callback(entry.names, [take] { take(""); });
    } else {
      app.add_option(entry.names)
          ->expected(1)
          ->allow_extra_args(false)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
          ->each(take);
    }
  }
  auto shortNames = [this] {
    std::vector<std::string> names = Names();
    names.erase(
        std::remove_if(names.begin(), names.end(), [](const std::string& n) { return n.size() != 2; }),
        names.end());
    return names;
  }();
  // An argument that reads as an option: a long one, or one of our short ones.
  auto looksLikeOption = [&shortNames](const std::string& arg) {
    return (arg.size() > 2 && arg.rfind("--", 0) == 0) ||
           std::find(shortNames.begin(), shortNames.end(), arg.substr(0, 2)) != shortNames.end();
  };

  // The options handed to CLI11, each value a separate argument after its
  // option, so that nothing in a value is read as an option again.
  std::vector<std::string> forCli;
  operands.clear();
  bool onlyOperands = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (onlyOperands || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyOperands = true;
      continue;
    }
    const bool isLong = arg.rfind("--", 0) == 0;
    const std::size_t eq = isLong ? arg.find('=') : std::string::npos;
    std::string name = isLong ? arg.substr(0, eq) : arg.substr(0, 2);
    const CLI::Option* option = app.get_option_no_throw(name);
    const bool takesValue = option && option->get_items_expected_max() > 0;
    // A short flag with more after it (-qV) is no option of ours.
    if (!option || (!isLong && arg.size() > 2 && !takesValue)) {
      if (!keepUnknown) {
        error = "unknown option " + (isLong ? name : arg) + " (see --help)";
        return false;
      }
      operands.push_back(arg);
      continue;
    }
    if (!takesValue) {
      if (eq != std::string::npos) {
        error = "option " + name + " takes no value";
        return false;
      }
      forCli.push_back(name);
      continue;
    }
    std::string value;
    if (eq != std::string::npos) {
      value = arg.substr(eq + 1);
    } else if (!isLong && arg.size() > 2) {
      value = arg.substr(2);  // -p5, -ofile.ini
    } else if (i + 1 >= args.size()) {
      error = "option " + name + " needs a value";
      return false;
    } else if (looksLikeOption(args[i + 1])) {
      error = "option " + name + " needs a value, not the option " + args[i + 1] +
              " (a value that starts with - goes right after it: " + name + (isLong ? "=" : "") + "VALUE)";
      return false;
    } else {
      value = args[++i];
    }
    forCli.push_back(name);
    forCli.push_back(value);
  }

  std::reverse(forCli.begin(), forCli.end());  // CLI11 takes them from the back
  try {
    app.parse(forCli);
  } catch (const Refused&) {
    return false;
  } catch (const CLI::Error& e) {
    error = e.what();
    return false;
  }
  return true;
}

bool COptionTable::Takes(std::size_t index, const std::string& command) const {
  const std::vector<std::string>& commands = options_.at(index).commands;
  return commands.empty() || std::find(commands.begin(), commands.end(), command) != commands.end();
}

std::string COptionTable::Help(std::size_t column, const std::string& command) const {
  std::string text;
  for (std::size_t index = 0; index < options_.size(); ++index) {
    if (!command.empty() && !Takes(index, command)) continue;
    const OptionEntry& option = options_[index];
    const std::vector<std::string> names = SplitNames(option.names);
    std::string line = "  ";
    if (names.front().size() == 2)
      line += names.front() + (names.size() > 1 ? ", " : "");
    else
      line += "    ";
    for (std::size_t i = names.front().size() == 2 ? 1 : 0; i < names.size(); ++i)
      line += names[i] + (i + 1 < names.size() ? ", " : "");
    if (!option.valueName.empty()) line += " " + option.valueName;
    std::size_t start = 0;
    if (line.size() + 1 > column) {
      text += line + "\n";
      line.clear();
    }
    while (start < option.help.size()) {
      const std::size_t end = std::min(option.help.find('\n', start), option.help.size());
      line.resize(column, ' ');
      text += line + option.help.substr(start, end - start) + "\n";
      line.clear();
      start = end + 1;
    }
  }
  return text;
}

bool COptionTable::ParseWithoutOperands(int argc, char** argv, std::string& error) const {
  std::vector<std::string> operands;
  if (!Parse(std::vector<std::string>(argv + 1, argv + argc), operands, error)) return false;
  if (operands.empty()) return true;
  error = "unexpected argument '" + operands.front() + "'";
  return false;
}

}  // namespace kestrun
