// rv450-cli labels: a PDF of labels for the trackers of the journal.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "batch/LabelSheet.h"
#include "cli/Args.h"
#include "journal/Journal.h"

namespace kestrun::cli {

// One label per tracker among the journal rows --imei, --since and
// --outcome select: the newest such row of each IMEI gives the date, and
// its ICCID and firmware, or an older selected row's where it has none.
// In the order of --imei, else by IMEI. `missing`: the IMEIs of --imei
// that no selected row has.
bool SelectLabels(const Options& o, const journal::CJournal& db, std::vector<batch::LabelRecord>& labels,
                  std::vector<std::string>& missing, std::string& error);

// The labels command: the local journal (`target`, or the default file when
// it is a server string), the trackers selected, the PDF written to -o.
// 2 when nothing is selected or the journal cannot be opened (no file is
// written), 5 when the PDF cannot be written.
int RunLabels(const Options& o, const std::string& target, std::ostream& out, std::ostream& err);

}  // namespace kestrun::cli
