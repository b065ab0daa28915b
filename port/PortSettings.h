// Which serial port to open and how: its COM number, where that number is
// looked up, and the line speed.
#pragma once

#include "port/PortDiscovery.h"

namespace kestrun {

struct PortSettings {
  int number = 0;
  int baudRate = 115200;
  DiscoveryPaths discovery;  // where COM numbers are looked up
};

}  // namespace kestrun
