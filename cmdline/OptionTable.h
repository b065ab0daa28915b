// One program's command-line options as one table: parsing, the option list
// of --help and the check of the man page all walk it. CLI11 holds the
// options and hands each value to its option's `take`; in front of it a
// strict pass keeps our rules: an option where a value belongs is refused
// rather than taken as the value ("-o --json" would write a file named
// --json), a value that starts with "-" goes right after its option
// (--opt=VALUE, -oVALUE), a flag takes no value, and an unknown option is
// named.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kestrun {

struct OptionEntry {
  std::string names;      // CLI11 spelling: "-p,--port" or "--json"
  std::string valueName;  // "N", "FILE"; empty for a flag
  std::string help;       // for --help; may run over several lines
  // Called with each value given (a flag: with ""), in the order given;
  // false with `error` set refuses the command line.
  std::function<bool(const std::string& value, std::string& error)> take;
  // The commands that take the option; empty: every command (and none).
  std::vector<std::string> commands = {};
};

class COptionTable {
 public:
  COptionTable() = default;
  explicit COptionTable(std::vector<OptionEntry> options) : options_(std::move(options)) {}

  void Add(OptionEntry option) { options_.push_back(std::move(option)); }
  const std::vector<OptionEntry>& options() const { return options_; }

  // Parses the arguments after the program name. Arguments that are no
  // option ("-" included, and all after "--") go to `operands` in order;
  // with `keepUnknown` unknown options go there too, else they are refused.
  // False with `error` set (one line) when the command line is not valid.
  // `given`, when not null, receives the index of every option given.
  bool Parse(const std::vector<std::string>& args, std::vector<std::string>& operands, std::string& error,
             bool keepUnknown = false, std::vector<std::size_t>* given = nullptr) const;

  // A program's whole command line (argv[0] is its name), which takes
  // options only: an operand is refused as an unexpected argument.
  bool ParseWithoutOperands(int argc, char** argv, std::string& error) const;

  // Every spelling of every option: "-p", "--port", ...
  std::vector<std::string> Names() const;
  // The option list of --help: "  -p, --port N          help", indented help
  // lines, the help starting in column `column`. With `command` only the
  // options that command takes.
  std::string Help(std::size_t column = 24, const std::string& command = "") const;
  // Whether option `index` is one that `command` takes.
  bool Takes(std::size_t index, const std::string& command) const;

 private:
  std::vector<OptionEntry> options_;
};

}  // namespace kestrun
