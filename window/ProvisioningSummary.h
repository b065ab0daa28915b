// The line under the Provisioning window's rows: how the trackers of the
// batch ended and how long one took.
#pragma once

#include <string>
#include <vector>

#include "window/ProvisioningModel.h"

namespace kestrun {

// "12 done, 2 failed, 1 stopped; median 1.9 s per tracker" (the median of
// the trackers done); empty before any tracker ended.
std::string SummaryText(const std::vector<FinishedJob>& jobs);

}  // namespace kestrun
