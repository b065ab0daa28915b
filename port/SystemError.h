// The system's words for an errno value, the one wording every message of
// the tool uses; safe on any thread (strerror is not).
#pragma once

#include <string>

namespace kestrun {

std::string SystemReason(int error);

}  // namespace kestrun
