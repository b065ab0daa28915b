// rv450-cli and the provisioning journal: the row each tracker's run adds,
// and the journal command that lists the rows.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "batch/PortJob.h"
#include "cli/Args.h"
#include "cli/Report.h"
#include "journal/Journal.h"

namespace kestrun::cli {

// One column of a row, named as in the CSV header and the JSON members;
// `bare`: a number or a truth value, written without quotes in JSON; `json`,
// when set, the member's JSON text instead (notes: an object, or null).
struct JournalColumn {
  const char* name;
  std::string value;
  bool bare = false;
  std::string json = {};
};
std::vector<JournalColumn> JournalColumns(const journal::JournalRow& row);

// --outcome failed: every tracker that failed, whatever the outcome word: a
// row with status 3 and up (port-not-opened, tracker-failed, output-failed,
// stopped) or with differences after a write (verify, provision); the rows a
// retry of their batch would take up.
constexpr const char* kFailedOutcomes = "failed";
// The words --outcome takes: every outcome a row can have, and "failed".
const std::vector<std::string>& JournalOutcomes();

// The rows --imei, --since, --outcome and --latest select, as a journal
// query; false with `error` set (a usage error) when --outcome names no outcome.
bool JournalQueryOf(const Options& o, journal::JournalQuery& query, std::string& error);

// How many rows a listing shows on a terminal without --limit.
constexpr int kTerminalRows = 200;

// The journal command: rows (or devices) as a table, CSV or JSON Lines; with
// a shared server `path` its rows when it answers, else (or with --local) the
// station's own rows from the local journal (the outbox). Or `journal push`:
// the rows that wait go to the shared server (exit 5 while it cannot take
// them). `terminal`: `out` is a terminal (the listing then stops at
// kTerminalRows unless --limit is given); the first form asks standard output.
int RunJournal(const Options& o, const std::string& path, std::ostream& out, std::ostream& err);
int RunJournal(const Options& o, const std::string& path, std::ostream& out, std::ostream& err,
               bool terminal);

}  // namespace kestrun::cli
