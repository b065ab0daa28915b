#pragma once

#include <string>

#include "protocol/CommandRecord.h"

namespace kestrun {

// RVTRI: scheduled timing report.
class CTriCommand : public CCommandRecord {
 public:
  CTriCommand() : CCommandRecord("TRI") {}
  bool Build();
  bool Parse(const std::string& reply);

  std::string beginTime, endTime, sendInterval, fixInterval;
  std::string commandLine;
};

}  // namespace kestrun
