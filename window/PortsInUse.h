// The ports this process has handed to one of its windows for a while (the
// Provisioning window's jobs), and who holds each: another window's commands
// on such a port are refused with a reason that names the holder, instead of
// failing at the port's exclusive open. Safe to use from any thread.
#pragma once

#include <map>
#include <mutex>
#include <string>

namespace kestrun {

class CPortsInUse {
 public:
  // The one registry of this process.
  static CPortsInUse& Process();

  // Takes COM `port` for `holder`; false when another holder has it.
  bool Claim(int port, const std::string& holder);
  // Gives COM `port` back, when `holder` has it.
  void Release(int port, const std::string& holder);
  // Who has COM `port`; empty when nobody does.
  std::string Holder(int port) const;

 private:
  mutable std::mutex mutex_;
  std::map<int, std::string> holders_;
};

// "COM5 is busy: the Provisioning window is using it", or empty when the
// port is free.
std::string PortBusyReason(int port);

}  // namespace kestrun
