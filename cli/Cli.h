// rv450-cli as a function: the whole program but for main(), so that tests
// run it in-process against simulated trackers.
#pragma once

#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "batch/PrepareBatch.h"
#include "cli/Stop.h"
#include "port/PortDiscovery.h"
#include "port/PortNeighbours.h"

namespace kestrun::cli {

// What the program takes from its surroundings.
struct Environment {
  DiscoveryPaths discovery;
  SystemRoots roots;          // where the ports' neighbours are looked up
  std::string workDir;        // where MainSetting.ini is looked for; empty: current folder
  bool liveProgress = false;  // standard error is a terminal
  int terminalWidth = 80;
  CStopSource* stop = nullptr;                  // Ctrl+C
  std::optional<std::string> passwordVariable;  // RV450_PASSWORD
  std::istream* input = nullptr;                // standard input, for --password -
  bool inputIsTerminal = false;
  std::function<void(int port, const std::string& status)> onStatus;  // every progress text, for tests
  std::string
      journalPath;  // the journal without --journal; main: RV450_JOURNAL, else CJournal::DefaultPath()
};

// Runs the command line `args` (without the program name); returns the exit status.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const Environment& env);

// The file read writes for one of several ports: "-COM<N>" before the extension.
using batch::OutputFileForPort;

}  // namespace kestrun::cli
