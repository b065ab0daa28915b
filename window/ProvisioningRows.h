// How a Provisioning window row follows its job: the state, words and
// progress each job event gives it, and what the finished job leaves in it.
// The bar has fixed shares: the identity, the write and the read-back each
// fill their own part, so it never goes back.
#pragma once

#include <string>
#include <vector>

#include "batch/PortJob.h"
#include "batch/Provision.h"
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
// A stopped job, and a failed one whose device is `gone`, say where they
// were and which groups the tracker had taken: "failed: gone during writing
// RVTRI 3 of 7; RVSRI, RVBEI taken".
void FinishRow(ProvisioningRow& row, const batch::PortReport& report, bool gone = false);

// The table line a provision decision dealt the tracker ("table line 7" of
// a row dealt in order), or 0.
int DealtLine(const batch::TrackerDecision& decision);

// What the window asks before it stops the running jobs on `ports`: "The
// job on COM33 is running. Stop it?", or "The jobs on COM33, COM35 are
// running. Stop them?".
std::string StopQuestion(const std::vector<int>& ports);

}  // namespace kestrun
