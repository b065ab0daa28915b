#pragma once

#include <string>

namespace kestrun {

// RVPIN: SIM PIN handling.
class CPinCommand {
 public:
  virtual ~CPinCommand() = default;
  bool Build();
  bool Parse(const std::string& reply);

  std::string password;
  int autoUnlock = 0;
  std::string pin;
  int pinCheck = 0;
  std::string commandLine;
};

}  // namespace kestrun
