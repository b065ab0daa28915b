// How a Provisioning window row follows its job: the state, words and
// progress each job event gives it, and what the finished job leaves in it.
#pragma once

#include <string>

#include "batch/PortJob.h"
#include "window/ProvisioningModel.h"

namespace kestrun {

// The job's progress text, which the row shows from the job's events instead.
struct NoJobProgress final : batch::IJobProgress {
  void Update(std::size_t, const std::string&) override {}
};

const char* StateWords(RowState state);
batch::Command CommandOf(ProvisioningAction action);

// One event of the running `action`: the row's state, words, bar and identity.
void ApplyEvent(ProvisioningRow& row, ProvisioningAction action, const batch::JobEvent& event);
// The finished job: its outcome, result text, hints and the file it wrote.
void FinishRow(ProvisioningRow& row, const batch::PortReport& report);

}  // namespace kestrun
