// rv450-sim: a simulated RV450 tracker on a pseudo-terminal.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "link/PortDiscovery.h"
#include "sim/TrackerSim.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void OnSignal(int) { stopRequested = 1; }

void Usage() {
  std::cout <<
      R"(Usage: rv450-sim [options]

Plays an RV450 GPS tracker on a pseudo-terminal and links it into the
ports folder as com<N>, so that RV450 Kestrun lists it as COM port N.

Options:
  --com N            COM number to register (default: the first free from 200;
                     a number another running simulator holds is refused)
  --ports-dir DIR    ports folder (default: $XDG_CONFIG_HOME/rv450-kestrun/ports,
                     or ~/.config/rv450-kestrun/ports)
  --password TEXT    device password the tracker accepts (default 5830)
  --state FILE       load the settings from FILE at start and save them after
                     every accepted settings line, so a demo tracker keeps its
                     state between runs
  --delay MS         answer delay in milliseconds (default 0)
  --awake            start with the slow-clock mode off (default: asleep; while
                     asleep the first line received only wakes the tracker)
  --fault PREFIX=KIND[:TIMES]
                     inject a fault for lines starting with PREFIX ("*" for every
                     line), TIMES times or always. KIND is one of:
                       silent         no echo, no answer
                       no-ok          echo (and reply) without the closing OK
                       error          echo followed by ERROR
                       wrong-count    query reply with one field too many
                       ok-before-tag  an OK line ahead of the query reply
                       split          answer in two parts, 700 ms apart
                       garbage        bytes that are no answer
                       long           1500 bytes of text, then the answer
                       vanish         the device disappears (pty closed)
                     Example: --fault AT+RVGEO==error:1 --fault AT+RVSRI?=silent
  --quiet            do not print the traffic
  --list-ports       print the serial ports RV450 Kestrun would list (position,
                     COM number, device) and exit
  --version          print the version and exit
  --help             this text

What it answers:
  Every line is echoed followed by OK, or ERROR when it is refused.
  AT+RVxxx? (SRI BEI TRI GEO BAC KPN WLT PIN) answers +RVxxx:<fields> with the
  exact field count of the real tracker; AT+RVxxx=... settings lines are
  checked for their field count and password and stored, so a later query
  gives back what was sent. ATI answers a Revision: line, at+csub a
  SubEdition: line. AT+CSCLK=1 puts the tracker to sleep again.

Traffic is printed as '<-- line' (received) and '--> text' (sent).
Stop with Ctrl+C.
)";
}

}  // namespace

int main(int argc, char** argv) {
  kestrun::sim::SimOptions options;
  options.portsDir = kestrun::DefaultPortsDir();
  std::string password;
  bool quiet = false;
  std::vector<std::tuple<std::string, kestrun::sim::Fault, int>> faults;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << "rv450-sim: " << arg << " needs a value\n";
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      Usage();
      return 0;
    } else if (arg == "--version") {
      std::cout << "rv450-sim " << KESTRUN_VERSION << "\n";
      return 0;
    } else if (arg == "--com") {
      options.comNumber = std::atoi(value().c_str());
    } else if (arg == "--ports-dir") {
      options.portsDir = value();
    } else if (arg == "--password") {
      password = value();
    } else if (arg == "--state") {
      options.stateFile = value();
    } else if (arg == "--delay") {
      options.answerDelayMs = std::atoi(value().c_str());
    } else if (arg == "--awake") {
      options.startAsleep = false;
    } else if (arg == "--list-ports") {
      kestrun::DiscoveryPaths paths;
      paths.portsDir = options.portsDir;
      int position = 0;
      for (const kestrun::PortEntry& port : kestrun::DiscoverPorts(paths))
        std::cout << position++ << " " << port.number << " " << port.devicePath << "\n";
      return 0;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--fault") {
      const std::string faultText = value();
      const std::size_t eq = faultText.rfind('=');
      std::string kind = eq == std::string::npos ? "" : faultText.substr(eq + 1);
      int times = -1;
      if (const std::size_t colon = kind.find(':'); colon != std::string::npos) {
        times = std::atoi(kind.c_str() + colon + 1);
        kind.resize(colon);
      }
      kestrun::sim::Fault fault;
      if (eq == std::string::npos || !kestrun::sim::ParseFault(kind, fault)) {
        std::cerr << "rv450-sim: bad --fault '" << faultText << "' (see --help)\n";
        return 2;
      }
      faults.emplace_back(faultText.substr(0, eq), fault, times);
    } else {
      std::cerr << "rv450-sim: unknown option " << arg << " (see --help)\n";
      return 2;
    }
  }
  if (!quiet) {
    options.log = [](const std::string& text) {
      std::string shown;
      for (char c : text)
        shown += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
      std::cout << shown << std::endl;
    };
  }
  kestrun::sim::CTrackerSim sim(options);
  if (!password.empty()) sim.WithState([&](kestrun::sim::CTrackerState& s) { s.password = password; });
  for (auto& [prefix, fault, times] : faults) sim.SetFault(prefix, fault, times);
  // Before the port is announced, so that a stop request right after it counts.
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::string error;
  if (!sim.Start(error)) {
    std::cerr << "rv450-sim: " << error << "\n";
    return 1;
  }
  std::cout << "RV450 simulator on " << sim.slavePath() << ", registered as COM" << sim.comNumber() << " ("
            << sim.linkPath() << ")" << std::endl;
  while (!stopRequested) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  sim.Stop();
  return 0;
}
