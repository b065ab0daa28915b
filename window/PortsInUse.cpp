#include "window/PortsInUse.h"

namespace kestrun {

CPortsInUse& CPortsInUse::Process() {
  static CPortsInUse registry;
  return registry;
}

bool CPortsInUse::Claim(int port, const std::string& holder) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto [it, added] = holders_.emplace(port, holder);
  return added || it->second == holder;
}

void CPortsInUse::Release(int port, const std::string& holder) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = holders_.find(port);
  if (it != holders_.end() && it->second == holder) holders_.erase(it);
}

std::string CPortsInUse::Holder(int port) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = holders_.find(port);
  return it == holders_.end() ? std::string() : it->second;
}

std::string PortBusyReason(int port) {
  const std::string holder = CPortsInUse::Process().Holder(port);
  if (holder.empty()) return {};
  return "COM" + std::to_string(port) + " is busy: the " + holder + " is using it";
}

}  // namespace kestrun
