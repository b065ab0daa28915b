// The line under the Provisioning window's rows: how the trackers of the
// batch ended and how long one took.
#pragma once

#include <string>
#include <vector>

#include "window/ProvisioningModel.h"

namespace kestrun {

// Keeps each tracker's latest job only, so that a tracker that failed and
// was then done counts once, as done, as its row shows it. A tracker is
// known by its IMEI; a job that ended before the IMEI was known stands for
// whatever tracker was on its port, and is replaced by the next job there.
void AddFinished(std::vector<FinishedJob>& jobs, FinishedJob job);

// "12 done, 2 failed, 1 stopped; median 1.9 s per tracker" (the median of
// the trackers done); empty before any tracker ended.
std::string SummaryText(const std::vector<FinishedJob>& jobs);

}  // namespace kestrun
