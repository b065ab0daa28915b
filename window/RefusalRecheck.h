// Whether the refusal the Provisioning window shows still holds, as its
// choices change. The window checks its choices again on a worker thread
// (CProvisioningModel::Check reads Main Setting, the table and the journal),
// so answers arrive late and out of step with the typing: this decides which
// check is the current one and what its answer changes on the screen. An
// answer to an older check, or one that arrives after the refusal was
// replaced or went, changes nothing, so a stale refusal is never shown.
// Plain C++.
#pragma once

#include <optional>
#include <string>

#include "window/ProvisioningModel.h"

namespace kestrun {

// A check to run: the refused action with the choices as they are now.
struct RecheckAsk {
  unsigned id = 0;
  ProvisioningAction action = ProvisioningAction::Provision;
};

class CRefusalRecheck {
 public:
  // A refusal of `action` is shown; checks asked for before it are stale.
  void Refused(ProvisioningAction action);
  // A message that is no refusal, or none, is shown: nothing to check, and
  // the answers still to come are stale.
  void Cleared();
  // A choice changed: the check to run, when a refusal is shown that can be
  // checked without asking the user (Read to files asks for its folder).
  std::optional<RecheckAsk> Changed();
  // What the answer of check `id` changes: nothing (stale), an empty text
  // (the refusal's cause went: it goes), or the refusal's text now.
  std::optional<std::string> Answered(unsigned id, bool ok, const std::string& error);

  std::optional<ProvisioningAction> refused() const { return refused_; }

 private:
  std::optional<ProvisioningAction> refused_;
  unsigned current_ = 0;  // the check whose answer counts; 0: none
  unsigned asked_ = 0;    // counts the checks asked for
};

}  // namespace kestrun
