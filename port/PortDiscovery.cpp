// The port numbers as a list, the same on every system.
#include "port/PortDiscovery.h"

namespace kestrun {

bool EnumComPorts(int* list, int& count, const DiscoveryPaths& paths) {
  const auto ports = DiscoverPorts(paths);
  count = static_cast<int>(ports.size());
  for (int i = 0; i < count; ++i) list[i] = ports[i].number;
  return true;
}

}  // namespace kestrun
