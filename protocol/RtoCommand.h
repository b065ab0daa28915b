#pragma once

#include <string>

#include "protocol/CommandRecord.h"

namespace kestrun {

// RVRTO: one real-time operation, write-only (no query, no Parse).
class CRtoCommand : public CCommandRecord {
 public:
  CRtoCommand() : CCommandRecord("RTO") {}
  bool Build();

  // Option list index 0..9 to operation code (1..8, 10, 11); -1 when the index
  // names no option.
  static int OperationForIndex(int index);

  int operation = 0;
  std::string commandLine;
};

}  // namespace kestrun
