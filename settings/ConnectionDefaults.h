// The connection's defaults and the baud list, in one place for the window,
// rv450-cli, the simulator and the benchmarks.
#pragma once

#include <iterator>

namespace kestrun {

constexpr const char* kDefaultPassword = "5830";
constexpr int kDefaultBaudRate = 115200;
// The rates of the baud list, in its order; MainSetting.ini keeps a position in it.
constexpr int kBaudRates[] = {57600, 115200, 230400, 460800, 921600};
constexpr int kBaudCount = static_cast<int>(std::size(kBaudRates));

}  // namespace kestrun
