// A journal row for the listing tests of the journal, rv450-cli journal and
// the window's Journal tab.
#pragma once

#include <string>

#include "journal/Journal.h"
#include "journal/RowNotes.h"

namespace kestrun::test {

// Tracker `imei`'s row at 2026-12-01T08:00:`second`Z, with the exit status of
// its outcome (a diff's differences are its result, no failure); `vehicle`,
// when given, is the row's key and its "#Vehicle" notes cell.
inline journal::JournalRow JournalTestRow(const std::string& imei, const std::string& second,
                                          const std::string& outcome, const std::string& vehicle = "") {
  journal::JournalRow r;
  r.id = journal::NewRowId();
  r.imei = imei;
  r.time = "2026-12-01T08:00:" + second + "Z";
  r.command = outcome == "different" ? "diff" : "provision";
  r.outcome = outcome;
  r.exitCode = outcome == "tracker-failed"    ? 4
               : outcome == "port-not-opened" ? 3
               : outcome == "different"       ? 1
                                              : 0;
  r.rowKey = vehicle;
  r.notes = vehicle.empty() ? "" : journal::NotesJson({{"#Vehicle", vehicle}});
  return r;
}

}  // namespace kestrun::test
