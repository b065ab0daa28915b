#include "protocol/RtoCommand.h"

#include <cstdio>

#include "protocol/CommandLine.h"

namespace kestrun {

int CRtoCommand::OperationForIndex(int index) {
  static constexpr int kCodes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 10, 11};
  return index >= 0 && index < 10 ? kCodes[index] : -1;
}

bool CRtoCommand::Build() {
  char code[16];
  std::snprintf(code, sizeof code, "%X", static_cast<unsigned>(operation));
  commandLine = Line({code});
  return true;
}

}  // namespace kestrun
