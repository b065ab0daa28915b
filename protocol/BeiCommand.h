#pragma once

#include <string>

#include "protocol/CommandRecord.h"
#include "protocol/Fields.h"

namespace kestrun {

// RVBEI: secondary (backup) server and position delay.
class CBeiCommand : public CCommandRecord {
 public:
  CBeiCommand() : CCommandRecord("BEI") {}
  bool Build();
  bool Parse(const std::string& reply);

  Octets backupIp{};
  std::string serverPort, positionDelay;
  std::string commandLine;
};

}  // namespace kestrun
