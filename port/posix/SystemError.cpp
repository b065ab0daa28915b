#include "port/SystemError.h"

#include <cstring>

namespace kestrun {

namespace {

// strerror_r comes in two shapes: GNU returns the text (in the buffer or in
// static storage), POSIX fills the buffer and returns 0 on success.
[[maybe_unused]] const char* PickText(const char* gnuResult, const char*) { return gnuResult; }
[[maybe_unused]] const char* PickText(int posixResult, const char* buffer) {
  return posixResult == 0 ? buffer : nullptr;
}

}  // namespace

std::string SystemReason(int error) {
  char buffer[256] = {};
  const char* text = PickText(::strerror_r(error, buffer, sizeof buffer), buffer);
  return text && *text ? std::string(text) : "error " + std::to_string(error);
}

}  // namespace kestrun
