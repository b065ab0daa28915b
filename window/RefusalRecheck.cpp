#include "window/RefusalRecheck.h"

namespace kestrun {

std::optional<ProvisioningAction> CRefusalRecheck::Changed() const {
  if (refused_ == ProvisioningAction::ReadToFiles) return std::nullopt;
  return refused_;
}

std::optional<std::string> CRefusalRecheck::Answered(bool ok, const std::string& error) {
  if (!refused_) return std::nullopt;
  if (ok) {
    refused_.reset();
    return std::string();
  }
  return error;
}

}  // namespace kestrun
