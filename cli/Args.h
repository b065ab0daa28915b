// The command line of rv450-cli: the command, its file, and the options.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "batch/LabelLayout.h"
#include "batch/PortReport.h"
#include "cmdline/OptionTable.h"
#include "port/Pacing.h"
#include "protocol/Groups.h"

namespace kestrun::cli {

struct Options {
  batch::Command command = batch::Command::None;
  bool help = false;
  bool version = false;
  std::string file;                    // the config file of write, diff and verify; provision's template
  std::string outputFile;              // -o of read and labels
  std::vector<int> ports;              // in the order given, no duplicates
  std::vector<std::string> portPaths;  // --port /dev/...: devices to find among the ports
  std::optional<int> baudRate;
  std::optional<std::string> password;      // --password VALUE
  std::optional<std::string> passwordFile;  // --password-file FILE
  bool askPassword = false;                 // --password -
  std::optional<CPacing> pacing;
  std::optional<GroupSelection> groups;  // --groups
  bool json = false;
  bool quiet = false;
  bool allowCaps = false;
  bool dryRun = false;      // show the lines that would be sent; open no port
  bool noIdentify = false;  // no identity queries after the wake-up: the window's bytes
  std::string logDir;
  std::string journalPath;  // --journal PATH; empty: the default journal
  bool noJournal = false;
  std::string reportFile;            // --report FILE.csv|FILE.json: the batch's rows in one file
  bool journalDevices = false;       // journal devices
  bool journalPush = false;          // journal push
  std::string since, outcome;  // journal filters; `since` as UTC "2026-12-01T08:00:00Z"
  bool csv = false;
  std::optional<int> limit;  // journal --limit N (0: every row); unset: all on a pipe, 200 on a terminal
  bool latest = false;       // journal --latest: each tracker's newest row only
  bool localOnly = false;    // journal --local: this station's rows, not the shared server's
  std::vector<std::string> withColumns;  // journal devices --with-columns: notes headers ("#Vehicle")
  std::string table;                     // provision --table FILE
  bool assign = false;                   // provision --assign
  bool skipDone = false;                 // provision --skip-done
  std::vector<std::string> imeis;        // provision --imei LIST
  batch::LabelLayout layout = batch::LabelLayout::A4Grid3x8;  // labels --layout
  bool watch = false;              // identify, verify, provision --watch: station mode
};

// Parses the arguments after the program name. False with `error` set (one
// line, for "rv450-cli: <error>") when they are not a valid command line.
bool ParseArgs(const std::vector<std::string>& args, Options& options, std::string& error);

// "sri,bei,..." into a selection; RVRTO is refused (it is an action, not a setting).
bool ParseGroups(const std::string& text, GroupSelection& groups, std::string& error);

// Every spelling of every option ("-p", "--port", ...), from the option table.
std::vector<std::string> OptionNames();

// The option table's rows (names, value, help, commands), for the docs' check.
std::vector<OptionEntry> DocumentedOptions();

// The --help text, exit codes included; with a command, that command's
// usage and the options it takes.
std::string UsageText(batch::Command command = batch::Command::None);
using batch::CommandName;

}  // namespace kestrun::cli
