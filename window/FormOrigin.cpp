#include "window/FormOrigin.h"

namespace kestrun {

void CFormOrigin::Identified(int port, const TrackerIdentity& identity) {
  if (identity.Key().empty())
    imeis_.erase(port);
  else
    imeis_[port] = identity.Key();
}

void CFormOrigin::ReadAll(int port, bool ok) { port_ = ok ? port : 0; }

void CFormOrigin::GroupRead(int port) {
  if (port != port_) port_ = 0;  // the form mixes two sources now
}

std::string CFormOrigin::SuggestedFileName() const {
  if (port_ == 0) return {};
  const auto found = imeis_.find(port_);
  return found == imeis_.end() ? std::string() : found->second + ".ini";
}

}  // namespace kestrun
