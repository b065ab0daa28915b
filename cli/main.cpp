// rv450-cli: reads, writes and checks RV450 trackers from a terminal.
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "cli/Cli.h"
#include "cli/Progress.h"
#include "journal/Journal.h"
#include "port/Console.h"
#include "port/Platform.h"

int main(int argc, char** argv) {
  using namespace kestrun::cli;
  // Before any thread starts, so that only the watcher sees Ctrl+C.
  CSignalWatch::BlockSignals();
  CStopSource stop;
  CSignalWatch watch(stop);

  Environment env;
  env.stop = &stop;
  env.liveProgress = CProgress::ChooseStyle(false, kestrun::ErrorIsTerminal(),
                                            kestrun::ErrorTerminalKind()) == CProgress::Style::Live;
  env.passwordVariable = kestrun::EnvironmentValue("RV450_PASSWORD");
  // RV450_JOURNAL (a file or a postgresql:// server) stands in for --journal.
  const std::optional<std::string> journal = kestrun::EnvironmentValue("RV450_JOURNAL");
  env.journalPath = journal && !journal->empty() ? *journal : kestrun::journal::CJournal::DefaultPath();
  env.input = &std::cin;
  env.inputIsTerminal = kestrun::InputIsTerminal();
  if (const int width = env.liveProgress ? kestrun::ErrorTerminalWidth() : 0; width > 0)
    env.terminalWidth = width;
  return RunCli(kestrun::ProgramArguments(argc, argv), std::cout, std::cerr, env);
}
