#pragma once

#include <string>

namespace kestrun {

// RVTRI: scheduled timing report.
class CTriCommand {
 public:
  virtual ~CTriCommand() = default;
  bool Build();
  bool Parse(const std::string& reply);

  std::string password;
  std::string beginTime, endTime, sendInterval, fixInterval;
  std::string commandLine;
};

}  // namespace kestrun
