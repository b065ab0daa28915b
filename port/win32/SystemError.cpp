#include "port/SystemError.h"

#include <cstring>

namespace kestrun {

std::string SystemReason(int error) {
  char buffer[256] = {};
  if (::strerror_s(buffer, sizeof buffer, error) == 0 && buffer[0] != '\0') return buffer;
  return "error " + std::to_string(error);
}

}  // namespace kestrun
