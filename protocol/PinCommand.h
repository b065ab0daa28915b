#pragma once

#include <string>

#include "protocol/CommandRecord.h"

namespace kestrun {

// RVPIN: SIM PIN handling.
class CPinCommand : public CCommandRecord {
 public:
  CPinCommand() : CCommandRecord("PIN") {}
  bool Build();
  bool Parse(const std::string& reply);

  int autoUnlock = 0;
  std::string pin;
  int pinCheck = 0;
  std::string commandLine;
};

}  // namespace kestrun
