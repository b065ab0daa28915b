// provision: a template config file plus one row of a per-tracker table for
// each tracker. What every port shares (the checked table, the flags, the
// journal that deals rows) and the decision taken for one tracker once its
// identity is known: which row, which merged values, or why it is not written.
#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "batch/FleetTable.h"
#include "batch/PortReport.h"
#include "journal/JournalStore.h"
#include "protocol/FormValues.h"
#include "protocol/Groups.h"
#include "protocol/Identity.h"

namespace kestrun::batch {

// What a front end asks of provision.
struct ProvisionRequest {
  std::string templatePath;
  std::string tablePath;
  bool groupsGiven = false;  // --groups narrows the template's groups to `groups`
  GroupSelection groups{};
  bool assign = false;             // deal rows of a table without a key column
  bool skipDone = false;           // skip trackers the journal shows done with these settings
  bool dryRun = false;             // identify and show, write nothing, claim nothing
  bool allowCaps = false;          // send values the window would cap, capped
  std::vector<std::string> imeis;  // only these trackers are written; empty: all
  std::string password;            // the device password the lines carry
  // Set: once it turns true the table's check ends, refused (nobody waits for its answer).
  const std::atomic<bool>* stop = nullptr;
};

// The per-tracker part of a provision plan, shared by every port's job.
struct ProvisionSetup {
  FleetTable table;
  std::string tableName;  // the table file's name: how dealt rows are known
  bool assign = false, skipDone = false, dryRun = false, allowCaps = false;
  std::vector<std::string> imeis;
  // Deals rows (--assign) and answers --skip-done; null without a journal.
  // Thread-safe; it must outlive the jobs.
  journal::CJournalStore* store = nullptr;
};

// The message of a tracker an --imei run leaves alone: `skipped` in the
// report, but no journal row, which would hide its earlier one.
constexpr const char* kNotInImei = "not in --imei";

// What becomes of one tracker.
struct TrackerDecision {
  bool write = false;   // true: write `values`
  std::string outcome;  // when not written: "no-row", "skipped", "refused", "claim-failed"
  int exitCode = 0;
  std::string message;  // why it is not written, or which row it got
  std::string rowKey;   // its IMEI, its port's key ("COM5"), "row N" for a dealt row
  CFormValues values;   // the template with the row merged over it (and capped)
  std::vector<std::string> capped;
  std::string settingsHash;  // of the keys the merged values send
  // The row's notes cells and its tidied cells (FleetTable::Row), when a row
  // was found: written or not, the tracker's report and journal row name them.
  std::vector<std::pair<std::string, std::string>> notes;
  std::vector<std::string> tidied;
};

// Puts the decision's notes cells and tidied cells into `report` (its
// tableNotes and notes).
void CarryRowNotes(const TrackerDecision& decision, PortReport& report);

// The journal's settings hash of the keys a Send of `groups` carries.
std::string SettingsHashOf(const CFormValues& values, const GroupSelection& groups);

// Decides for the tracker `identity` on port `port` (`device`): finds its row
// (by IMEI, by port, or dealt by the journal when `claim` is set; a dry run
// only says a row would be dealt), merges it over `templateValues`, checks
// every value by the form's rules and applies --skip-done and --imei. Safe to
// call from several jobs at once.
TrackerDecision DecideTracker(const ProvisionSetup& setup, const CFormValues& templateValues,
                              const GroupSelection& sendGroups, const std::string& password,
                              const TrackerIdentity& identity, int port, const std::string& device,
                              bool claim);

}  // namespace kestrun::batch
