// Which trackers of the Provisioning window get a label: the selected rows,
// or, when none is selected, every row whose tracker has told its IMEI (the
// batch). A row without an IMEI gets none and is named in a note. Plain C++.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "batch/LabelDrawing.h"
#include "window/ProvisioningModel.h"

namespace kestrun {

struct LabelChoice {
  std::vector<batch::LabelRecord> labels;  // in the rows' order, one per IMEI
  bool batch = false;                      // no row was selected: every row with an IMEI
  // Why there is no label, or which selected rows get none; empty: nothing to say.
  std::string note;
};

// The labels for `selected` (indexes into `rows`; empty: the batch), each
// dated `date` ("2026-12-08").
LabelChoice LabelsForRows(const std::vector<ProvisioningRow>& rows, const std::vector<std::size_t>& selected,
                          const std::string& date);

}  // namespace kestrun
