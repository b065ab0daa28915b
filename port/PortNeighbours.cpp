// A port's status as the port list shows it, put together the same way on
// every system; where the system has no stable names and no ModemManager
// (Windows), those parts stay empty.
#include "port/PortNeighbours.h"

namespace kestrun {

PortStatus InspectPort(const PortEntry& port, const SystemRoots& roots, const UserAccess& user) {
  PortStatus status;
  status.number = port.number;
  status.devicePath = port.devicePath;
  status.openPath = port.openPath;
  status.stableName = StableNameOf(port.openPath, roots);
  status.systemError = TryOpenDevice(port.openPath);
  status.canOpen = status.systemError == 0;
  if (status.canOpen)
    status.advice = ModemManagerAdvice(port.openPath, roots);
  else
    status.reason = DescribeOpenFailure(port.openPath, status.systemError, roots, user);
  return status;
}

std::vector<PortStatus> InspectPorts(const DiscoveryPaths& paths, const SystemRoots& roots) {
  const UserAccess user = UserAccess::OfThisProcess();
  std::vector<PortStatus> result;
  for (const PortEntry& port : DiscoverPorts(paths)) result.push_back(InspectPort(port, roots, user));
  return result;
}

std::string DescribePort(const PortStatus& status) {
  std::string text = "COM" + std::to_string(status.number) + ": " + status.devicePath;
  if (!status.stableName.empty() && status.stableName != status.devicePath)
    text += "\nStable name: " + status.stableName;
  if (status.canOpen) {
    text += "\nOpens.";
    if (!status.advice.empty()) text += "\n" + status.advice;
  } else {
    text += "\nDoes not open: " + status.reason;
  }
  return text;
}

}  // namespace kestrun
