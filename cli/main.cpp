// rv450-cli: reads, writes and checks RV450 trackers from a terminal.
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "cli/Cli.h"
#include "cli/Progress.h"
#include "journal/Journal.h"

int main(int argc, char** argv) {
  using namespace kestrun::cli;
  // Before any thread starts, so that only the watcher sees Ctrl+C.
  CSignalWatch::BlockSignals();
  CStopSource stop;
  CSignalWatch watch(stop);

  Environment env;
  env.stop = &stop;
  env.liveProgress = CProgress::ChooseStyle(false, ::isatty(STDERR_FILENO) == 1, std::getenv("TERM")) ==
                     CProgress::Style::Live;
  if (const char* password = std::getenv("RV450_PASSWORD")) env.passwordVariable = password;
  // RV450_JOURNAL (a file or a postgresql:// server) stands in for --journal.
  const char* journal = std::getenv("RV450_JOURNAL");
  env.journalPath = journal && *journal ? journal : kestrun::journal::CJournal::DefaultPath();
  env.input = &std::cin;
  env.inputIsTerminal = ::isatty(STDIN_FILENO) == 1;
  winsize size{};
  if (env.liveProgress && ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
    env.terminalWidth = size.ws_col;
  const std::vector<std::string> args(argv + 1, argv + argc);
  return RunCli(args, std::cout, std::cerr, env);
}
