// The report file of a batch (--report FILE.csv or FILE.json): one row per
// tracker with the fields of its journal row (outcome and message included),
// written after the batch in one safe replace, so that a script or a
// spreadsheet gets the whole run in one file.
//
// CSV: a header line naming the columns, then one line per tracker in the
// order the ports were given; a field holding a comma, a double quote, CR or
// LF is quoted with its double quotes doubled (RFC 4180). JSON: one document,
// {"schema":1,"program":...,"version":...,"command":...,"exitCode":N,
// "retry":...,"rows":[{...},...]}, the rows with the members of journal --json
// but "schema" and "sent".
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "batch/PortJob.h"
#include "cli/Report.h"
#include "journal/Journal.h"

namespace kestrun::cli {

// The version of the report's members: a new member keeps it, one renamed or
// removed raises it.
constexpr int kBatchReportSchema = 1;

enum class ReportFormat { Csv, Json };

// The format the file's extension names (.csv or .json, in any letter case);
// false with `error` for any other name.
bool ReportFormatOf(const std::string& path, ReportFormat& format, std::string& error);

// Each tracker's row as its job ends, from the job's thread.
class CBatchRows {
 public:
  // Keeps `row` as the next row of a tracker on `row.device` (a watch runs
  // one tracker after another on a port); an empty time becomes now.
  void Add(journal::JournalRow row);
  // One row per report, in their order; a report whose job added none (it
  // never ended its work) gets the row its report makes.
  std::vector<journal::JournalRow> InOrder(const std::vector<batch::PortReport>& reports,
                                           const batch::JobPlan& plan) const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::vector<journal::JournalRow>> rows_;
};

// The report's text. `retry` (JSON only): the command line that retries the
// failed trackers, empty when none failed (null); no member without one.
std::string BatchReportText(ReportFormat format, batch::Command command, int exitCode,
                            const std::optional<std::string>& retry,
                            const std::vector<journal::JournalRow>& rows);

// Writes the report of a batch that ended with `status` to `path` (the safe
// replace: a temporary file renamed over the old one); a report that cannot
// be written is said on `err` and makes the status at least 5.
int WriteBatchReport(const std::string& path, batch::Command command, int status,
                     const std::optional<std::string>& retry, const std::vector<journal::JournalRow>& rows,
                     std::ostream& err);

}  // namespace kestrun::cli
