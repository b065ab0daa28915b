// The ports command: every serial port the tool knows, with its COM number,
// device, stable names and whether it opens now (and why not).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "link/PortDiscovery.h"

namespace kestrun::cli {

struct PortStatus {
  int number = 0;
  std::string device;                    // what the user sees
  std::string openPath;                  // what is opened (a com<N> link for user links)
  std::vector<std::string> stableNames;  // /dev/serial/by-id names of the same device
  bool opens = false;
  std::string reason;  // why it does not open
};

// Discovers the ports and test-opens each (and closes it again).
std::vector<PortStatus> ListPorts(const DiscoveryPaths& discovery, const std::string& byIdDir);

void PrintPortsText(std::ostream& out, const std::vector<PortStatus>& ports);
void PrintPortsJson(std::ostream& out, const std::vector<PortStatus>& ports);

}  // namespace kestrun::cli
