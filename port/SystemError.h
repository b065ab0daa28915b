// The system's words for an errno value, safe on any thread (strerror is not).
#pragma once

#include <cstring>
#include <string>

namespace kestrun {

inline std::string SystemReason(int error) {
  char buffer[256] = {};
  // The GNU strerror_r returns the text, in `buffer` or in static storage.
  const char* text = ::strerror_r(error, buffer, sizeof buffer);
  return text ? std::string(text) : "error " + std::to_string(error);
}

}  // namespace kestrun
