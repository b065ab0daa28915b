// The 14-digit UTC stamp that ends every command line (yyyymmddhhmmss).
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace kestrun {

using StampClock = std::function<std::chrono::system_clock::time_point()>;

// Formats the current UTC time; reads the clock once.
std::string UtcStamp();

// Replaces the clock (tests); an empty function restores the system clock.
void SetStampClock(StampClock clock);

std::string FormatUtcStamp(std::chrono::system_clock::time_point when);

}  // namespace kestrun
