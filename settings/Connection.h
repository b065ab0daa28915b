// What a device operation connects with: the port, its baud rate, the device
// password, the pacing of the exchange and the traffic log. The window makes
// it from MainSetting.ini, rv450-cli from its options over MainSetting.ini,
// the benchmarks from theirs; the defaults and the baud list live here once.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "port/Pacing.h"
#include "port/PortDiscovery.h"
#include "port/PortSettings.h"
#include "settings/ConnectionDefaults.h"

namespace kestrun {

class CMainSettings;

// The rate a baud position runs at: a position outside the list gives the default.
int BaudRateForIndex(int index);
// "57600, 115200, 230400, 460800<last>921600", e.g. with last ", " or " or ".
std::string BaudListText(const char* last);
// One of the list's rates, written as the list writes it; false for anything else.
bool ParseBaudRate(const std::string& text, int& rate);

struct Connection {
  int port = 0;  // COM number; 0: none (its open fails and says COM:0)
  int baudRate = kDefaultBaudRate;
  std::string password = kDefaultPassword;
  CPacing pacing;
  std::string logPath;  // the traffic log; empty: none
  DiscoveryPaths discovery;

  // The port to open: its number, rate and discovery paths.
  PortSettings Port() const { return {port, baudRate, discovery}; }
};

// Which port of `ports` (the port list of this start-up) MainSetting.ini's
// values choose: the one whose number ComPortNumber names when the list has
// it (byNumber), else the one at position ComPort; -1 when neither names one.
struct PortChoice {
  int position = -1;
  bool byNumber = false;
};
PortChoice ChoosePort(const CMainSettings& settings, const std::vector<PortEntry>& ports);

// The connection MainSetting.ini's values choose: the port ChoosePort picks,
// the rate at `baudIndex`, the password and the pacing. No log and default
// discovery paths.
Connection ConnectionFromSettings(const CMainSettings& settings, const std::vector<PortEntry>& ports);

// Command-line values over a connection: each one given replaces its value.
struct ConnectionOptions {
  std::optional<int> baudRate;
  std::optional<CPacing> pacing;
};
void ApplyOptions(const ConnectionOptions& options, Connection& connection);

}  // namespace kestrun
