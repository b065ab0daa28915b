// Forms "AT+RV<name>=f1,f2,...": fields joined by single commas, verbatim.
#pragma once

#include <string>
#include <vector>

namespace kestrun {

std::string JoinCommand(const char* name, const std::vector<std::string>& fields);

inline std::string Dec(int value) { return std::to_string(value); }

}  // namespace kestrun
