#pragma once

#include <string>

#include "protocol/Fields.h"

namespace kestrun {

// RVBEI: secondary (backup) server and position delay.
class CBeiCommand {
 public:
  virtual ~CBeiCommand() = default;
  bool Build();
  bool Parse(const std::string& reply);

  std::string password;
  Octets backupIp{};
  std::string serverPort, positionDelay;
  std::string commandLine;
};

}  // namespace kestrun
