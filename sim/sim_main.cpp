// rv450-sim: a simulated RV450 tracker on a pseudo-terminal.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "cmdline/OptionTable.h"
#include "cmdline/WholeNumber.h"
#include "port/PortDiscovery.h"
#include "protocol/ControlChars.h"
#include "protocol/WholeNumber.h"
#include "settings/ConnectionDefaults.h"
#include "sim/TrackerSim.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void OnSignal(int) { stopRequested = 1; }

struct Settings {
  kestrun::sim::SimOptions sim;
  std::string password;
  bool quiet = false;
  bool listPorts = false;
  bool help = false;
  bool version = false;
  std::vector<std::tuple<std::string, kestrun::sim::Fault, int>> faults;
  std::string swapPrefix;  // empty: no swap
  int swapTimes = 0;
  std::string swapImei;
};

// PREFIX=N[:IMEI]: another tracker on the cable after N lines starting with PREFIX.
bool SetSwap(const std::string& text, Settings& s, std::string& error) {
  const std::size_t eq = text.rfind('=');
  const std::string rest = eq == std::string::npos ? "" : text.substr(eq + 1);
  const std::size_t colon = rest.find(':');
  if (eq == std::string::npos || eq == 0 ||
      !kestrun::ParseWholeNumber(rest.substr(0, colon), 1, 1000000, s.swapTimes)) {
    error = "bad --swap-after '" + text + "' (see --help)";
    return false;
  }
  s.swapPrefix = text.substr(0, eq);
  s.swapImei = colon == std::string::npos ? "" : rest.substr(colon + 1);
  return true;
}

// PREFIX=KIND[:TIMES] into the list of faults to inject.
bool AddFault(const std::string& text, Settings& s, std::string& error) {
  const std::size_t eq = text.rfind('=');
  std::string kind = eq == std::string::npos ? "" : text.substr(eq + 1);
  int times = -1;
  if (const std::size_t colon = kind.find(':'); colon != std::string::npos) {
    times = static_cast<int>(kestrun::ParseWhole(kind.substr(colon + 1)).value_or(0));
    kind.resize(colon);
  }
  kestrun::sim::Fault fault;
  if (eq == std::string::npos || !kestrun::sim::ParseFault(kind, fault)) {
    error = "bad --fault '" + text + "' (see --help)";
    return false;
  }
  s.faults.emplace_back(text.substr(0, eq), fault, times);
  return true;
}

kestrun::COptionTable OptionTable(Settings& s) {
  auto flag = [](bool& field) { return [&field](const std::string&, std::string&) { return field = true; }; };
  auto number = [](int& field, int least, const char* name) {
    return [&field, least, name](const std::string& value, std::string& error) {
      if (kestrun::ParseWholeNumber(value, least, 1000000, field)) return true;
      error = std::string(name) + " wants a number, not '" + value + "'";
      return false;
    };
  };
  auto text = [](std::string& field) {
    return [&field](const std::string& value, std::string&) {
      field = value;
      return true;
    };
  };
  return kestrun::COptionTable({
      {"--com", "N",
       "COM number to register (default: the first free from 200;\na number another running simulator holds "
       "is "
       "refused)",
       number(s.sim.comNumber, 1, "--com")},
      {"--ports-dir", "DIR",
       "ports folder (default: $XDG_CONFIG_HOME/rv450-kestrun/ports,\nor ~/.config/rv450-kestrun/ports)",
       text(s.sim.portsDir)},
      {"--password", "TEXT",
       std::string("device password the tracker accepts (default ") + kestrun::kDefaultPassword + ")",
       text(s.password)},
      {"--state", "FILE",
       "load the settings from FILE at start and save them after\nevery accepted settings line, so a demo "
       "tracker keeps its\nstate between runs",
       text(s.sim.stateFile)},
      {"--imei", "DIGITS", "what AT+CGSN answers (default: a valid IMEI made from the\nCOM number)",
       text(s.sim.imei)},
      {"--iccid", "DIGITS", "what AT+CCID answers (default: a valid ICCID made from the\nCOM number)",
       text(s.sim.iccid)},
      {"--delay", "MS", "answer delay in milliseconds (default 0)",
       number(s.sim.answerDelayMs, 0, "--delay")},
      {"--awake", "",
       "start with the slow-clock mode off (default: asleep; while\nasleep the first line received only "
       "wakes "
       "the tracker)",
       [&s](const std::string&, std::string&) {
         s.sim.startAsleep = false;
         return true;
       }},
      {"--fault", "PREFIX=KIND[:TIMES]",
       "inject a fault for lines starting with PREFIX (\"*\" for every\nline), TIMES times or always. KIND "
       "is "
       "one of:\n"
       "  silent         no echo, no answer\n"
       "  no-ok          echo (and reply) without the closing OK\n"
       "  error          echo followed by ERROR\n"
       "  wrong-count    query reply with one field too many\n"
       "  ok-before-tag  an OK line ahead of the query reply\n"
       "  split          answer in two parts, 700 ms apart\n"
       "  garbage        bytes that are no answer\n"
       "  long           1500 bytes of text, then the answer\n"
       "  vanish         the device disappears (pty closed)\n"
       "Example: --fault AT+RVGEO==error:1 --fault AT+RVSRI?=silent",
       [&s](const std::string& value, std::string& error) { return AddFault(value, s, error); }},
      {"--swap-after", "PREFIX=N[:IMEI]",
       "another tracker takes this one's place once N lines starting\nwith PREFIX were answered: AT+CGSN "
       "then answers IMEI, or\nERROR without one. Example: --swap-after AT+RVBEI==1:356938035643809",
       [&s](const std::string& value, std::string& error) { return SetSwap(value, s, error); }},
      {"--quiet", "", "do not print the traffic", flag(s.quiet)},
      {"--list-ports", "",
       "print the serial ports RV450 Kestrun would list (position,\nCOM number, device) and exit",
       flag(s.listPorts)},
      {"--version", "", "print the version and exit", flag(s.version)},
      {"-h,--help", "", "this text", flag(s.help)},
  });
}

void Usage() {
  Settings unused;
  std::cout << R"(Usage: rv450-sim [options]

Plays an RV450 GPS tracker on a pseudo-terminal and links it into the
ports folder as com<N>, so that RV450 Kestrun lists it as COM port N.

Options:
)" << OptionTable(unused).Help()
            << R"(
What it answers:
  Every line is echoed followed by OK, or ERROR when it is refused.
  AT+RVxxx? (SRI BEI TRI GEO BAC KPN WLT PIN) answers +RVxxx:<fields> with the
  exact field count of the real tracker; AT+RVxxx=... settings lines are
  checked for their field count and password and stored, so a later query
  gives back what was sent. ATI answers a Revision: line, at+csub a
  SubEdition: line. AT+CGSN answers the IMEI, AT+CCID +CCID: and the ICCID,
  AT+CSQ +CSQ: 21,0 (--fault AT+CGSN=error and so on refuse them).
  AT+CSCLK=1 puts the tracker to sleep again.

Traffic is printed as '<-- line' (received) and '--> text' (sent).
Stop with Ctrl+C.
)";
}

}  // namespace

int main(int argc, char** argv) {
  Settings s;
  s.sim.portsDir = kestrun::DefaultPortsDir();
  std::string error;
  OptionTable(s).ParseWithoutOperands(argc, argv, error);
  if (!error.empty()) {
    std::cerr << "rv450-sim: " << kestrun::EscapeControlBytes(error) << "\n";
    return 2;
  }
  if (s.help) {
    Usage();
    return 0;
  }
  if (s.version) {
    std::cout << "rv450-sim " << KESTRUN_VERSION << "\n";
    return 0;
  }
  if (s.listPorts) {
    kestrun::DiscoveryPaths paths;
    paths.portsDir = s.sim.portsDir;
    int position = 0;
    for (const kestrun::PortEntry& port : kestrun::DiscoverPorts(paths))
      std::cout << position++ << " " << port.number << " " << kestrun::EscapeControlBytes(port.devicePath)
                << "\n";
    return 0;
  }
  kestrun::sim::SimOptions& options = s.sim;
  const std::string& password = s.password;
  const bool quiet = s.quiet;
  auto& faults = s.faults;
  if (!quiet) {
    options.log = [](const std::string& text) {
      // Line ends as \r and \n, as they are read in the traffic; any other
      // control byte a client sent shown as \xHH.
      std::string shown;
      for (char c : text)
        shown += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
      std::cout << kestrun::EscapeControlBytes(shown) << std::endl;
    };
  }
  kestrun::sim::CTrackerSim sim(options);
  if (!password.empty()) sim.WithState([&](kestrun::sim::CTrackerState& s) { s.password = password; });
  for (auto& [prefix, fault, times] : faults) sim.SetFault(prefix, fault, times);
  if (!s.swapPrefix.empty()) sim.SwapTrackerAfter(s.swapPrefix, s.swapTimes, s.swapImei);
  // Before the port is announced, so that a stop request right after it counts.
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  if (!sim.Start(error)) {
    std::cerr << "rv450-sim: " << kestrun::EscapeControlBytes(error) << "\n";
    return 1;
  }
  std::cout << "RV450 simulator on " << sim.slavePath() << ", registered as COM" << sim.comNumber() << " ("
            << kestrun::EscapeControlBytes(sim.linkPath()) << ")" << std::endl;
  while (!stopRequested) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  sim.Stop();
  return 0;
}
