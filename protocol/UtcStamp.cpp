#include "protocol/UtcStamp.h"

#include <cstdio>
#include <ctime>
#include <mutex>

namespace kestrun {

namespace {
std::mutex clockMutex;
StampClock& Clock() {
  static StampClock clock;
  return clock;
}
}  // namespace

void SetStampClock(StampClock clock) {
  std::lock_guard<std::mutex> lock(clockMutex);
  Clock() = std::move(clock);
}

std::string FormatUtcStamp(std::chrono::system_clock::time_point when) {
  const std::time_t seconds =
      std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(when));
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return text;
}

std::string UtcStamp() {
  std::chrono::system_clock::time_point now;
  {
    std::lock_guard<std::mutex> lock(clockMutex);
    now = Clock() ? Clock()() : std::chrono::system_clock::now();
  }
  return FormatUtcStamp(now);
}

}  // namespace kestrun
