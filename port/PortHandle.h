// What the system hands out for an open serial port: a file descriptor on
// Linux, a HANDLE on Windows; and the value that stands for no port.
#pragma once

namespace kestrun {

#ifdef _WIN32
using PortHandle = void*;
inline const PortHandle kNoPortHandle = reinterpret_cast<void*>(-1);  // INVALID_HANDLE_VALUE
#else
using PortHandle = int;
inline constexpr PortHandle kNoPortHandle = -1;
#endif

}  // namespace kestrun
