#include "window/RefusalRecheck.h"

namespace kestrun {

void CRefusalRecheck::Refused(ProvisioningAction action) {
  refused_ = action;
  current_ = 0;
}

void CRefusalRecheck::Cleared() {
  refused_.reset();
  current_ = 0;
}

std::optional<RecheckAsk> CRefusalRecheck::Changed() {
  if (!refused_ || *refused_ == ProvisioningAction::ReadToFiles) return std::nullopt;
  current_ = ++asked_;
  return RecheckAsk{current_, *refused_};
}

std::optional<std::string> CRefusalRecheck::Answered(unsigned id, bool ok, const std::string& error) {
  if (id == 0 || id != current_ || !refused_) return std::nullopt;
  current_ = 0;
  if (ok) {
    refused_.reset();
    return std::string();
  }
  return error;
}

}  // namespace kestrun
