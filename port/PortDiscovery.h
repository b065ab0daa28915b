// Serial port discovery on Linux. Every port has a COM number: ttyS<n> is
// COM n+1, ttyUSB<n> COM n+33, ttyACM<n> COM n+65; a symlink com<N> in the
// user's ports folder is COM N and overrides a device with the same number.
// On Windows the ports are those of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, shown
// by SetupAPI's friendly name where it knows the port, opened as \\.\COM<N>;
// DiscoveryPaths and the ports folder play no part there.
#pragma once

#include <string>
#include <vector>

namespace kestrun {

struct PortEntry {
  int number;
  std::string devicePath;  // what the user sees (the link's target for user links)
  std::string openPath;    // what CComPort opens
};

struct DiscoveryPaths {
  std::string sysfsTty = "/sys/class/tty";
  std::string devDir = "/dev";
  std::string portsDir;  // empty: DefaultPortsDir()
};

constexpr int kMaxPorts = 64;

// $XDG_CONFIG_HOME/rv450-kestrun/ports, or ~/.config/rv450-kestrun/ports.
std::string DefaultPortsDir();

// The ports found, ascending by number, at most kMaxPorts.
std::vector<PortEntry> DiscoverPorts(const DiscoveryPaths& paths = {});

// The device that COM `number` opens, or empty when no such port is known.
std::string OpenPathForPort(int number, const DiscoveryPaths& paths = {});

// The COM number of a port named the way the system names its device:
// "\\.\COM12" (any letter case) on Windows. 0 for anything else, and always
// 0 on Linux, where a device is a path.
int ComNumberOfDevice(const std::string& name);

// A device as messages show one: "/dev/ttyUSB0" on Linux, "\\.\COM12" on Windows.
extern const char* const kDeviceExample;

// Fills `list` (room for kMaxPorts) with the port numbers in ascending order.
bool EnumComPorts(int* list, int& count, const DiscoveryPaths& paths = {});

}  // namespace kestrun
