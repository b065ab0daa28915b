#include "protocol/CommandLine.h"

namespace kestrun {

std::string JoinCommand(const char* name, const std::vector<std::string>& fields) {
  std::string line = std::string("AT+RV") + name + "=";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) line += ',';
    line += fields[i];
  }
  return line;
}

}  // namespace kestrun
