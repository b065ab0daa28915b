// The ports command: every serial port the tool knows, with its COM number,
// device, stable name and whether it opens now (and why not), as the port
// inspection of port/PortNeighbours finds them.
#pragma once

#include <ostream>
#include <vector>

#include "port/PortNeighbours.h"

namespace kestrun::cli {

void PrintPortsText(std::ostream& out, const std::vector<PortStatus>& ports);
void PrintPortsJson(std::ostream& out, const std::vector<PortStatus>& ports);

}  // namespace kestrun::cli
