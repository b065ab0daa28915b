// Whether the refusal the Provisioning window shows still holds, as its
// choices and its ticks change. A refusal about the ports ("no port is
// ticked") goes when a tick changes or station mode is turned on or off. One
// about the choices is checked again as they change, on a worker thread
// (CProvisioningModel::Check reads Main Setting, the table and the journal),
// so answers arrive late and out of step with the typing. The window's
// CLatestWork keeps only the newest check's answer, and the window drops the
// checks under way whenever its message changes, so an answer that arrives is
// always one to the refusal shown now: this decides what it changes.
// Plain C++.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "window/ProvisioningModel.h"

namespace kestrun {

class CRefusalRecheck {
 public:
  // A refusal of `action` for a cause in the choices is shown.
  void Refused(ProvisioningAction action) {
    refused_ = action;
    aboutPorts_ = false;
  }
  // A refusal about the ports (unticked, busy, gone) is shown.
  void RefusedForPorts() {
    refused_.reset();
    aboutPorts_ = true;
  }
  // A message that is no refusal, or none, is shown: nothing to check.
  void Cleared() {
    refused_.reset();
    aboutPorts_ = false;
  }
  // A tick changed, or station mode was turned on or off: true when the
  // refusal shown is about the ports, and goes now.
  bool PortsChanged() { return std::exchange(aboutPorts_, false); }
  // A choice changed: the action to check again, when a refusal is shown
  // that can be checked without asking the user (Read to files asks for its folder).
  std::optional<ProvisioningAction> Changed() const;
  // What the check's answer changes: nothing (no refusal is shown), an empty
  // text (the refusal's cause went: it goes), or the refusal's text now.
  std::optional<std::string> Answered(bool ok, const std::string& error);

  std::optional<ProvisioningAction> refused() const { return refused_; }

 private:
  std::optional<ProvisioningAction> refused_;
  bool aboutPorts_ = false;
};

}  // namespace kestrun
