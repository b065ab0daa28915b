// What one port's run comes to: the command, the exit codes, the report row
// and its outcome words. The front ends print it each in their own way.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "batch/Compare.h"
#include "protocol/Identity.h"

namespace kestrun::batch {

enum class Command { None, Ports, Read, Write, Diff, Verify, Identify, Journal, Provision, Labels };

// Exit codes; with several ports the highest one wins.
enum ExitCode {
  kExitOk = 0,             // done (and equal, for diff and verify)
  kExitDifferent = 1,      // differences found
  kExitUsage = 2,          // bad usage or a bad input file; no port touched
  kExitPortFailed = 3,     // a port did not open
  kExitTrackerFailed = 4,  // the tracker failed: no response, a refused line, a lost port
  kExitOutputFailed = 5,   // the tracker was read but the result could not be written
  kExitInterrupted = 130,  // stopped by Ctrl+C (or SIGTERM)
};

struct PortReport {
  Command command = Command::None;
  int port = 0;  // 0: the device has no COM number
  std::string device;
  int exitCode = kExitOk;
  // ok, equal, different, dry-run, port-not-opened, tracker-failed, tracker-changed, stopped, output-failed
  std::string outcome;
  std::string message;       // the failing step's status text
  std::string detail;        // the system's reason, where there is one
  std::string file;          // the file written (read) or the file given
  std::string firmware;      // the tracker's firmware version text (read, diff, verify, identify)
  TrackerIdentity identity;  // identify: what the identity queries gave
  bool answered = false;  // the tracker answered its wake-up (a group started)
  std::vector<std::string> groupsSent;
  std::vector<std::string> groupsRead;
  int linesSent = 0;
  int keysCompared = 0;
  std::vector<Difference> differences;
  std::vector<std::string> capped;     // corrections applied to the file's values (--allow-caps)
  std::vector<std::string> notes;      // messages the operation raised on the way (caps on replies)
  std::vector<std::string> wouldSend;  // --dry-run: the lines, stamp and password hidden
  std::string logError;                // why the traffic log could not be written (the first time), or empty
  std::string rowKey;                  // provision: the table row's key (IMEI, COM5, "row 3"), or empty
  // provision: the notes cells of the tracker's table row, each with its
  // header as written ("#Vehicle", "Van 12"), in column order.
  std::vector<std::pair<std::string, std::string>> tableNotes;
  std::string settingsHash;  // provision: the journal's hash of the merged keys sent, or empty
  std::string journalError;  // why its journal row could not be written, or empty
  double seconds = 0;
};

// The command's name as rv450-cli takes it: "read", "provision".
const char* CommandName(Command command);

// What the run came to, after "COM5 provision: ": "ok, 2 groups, 14 lines
// sent", "tracker failed: no response", with the tracker and row provision
// names; control bytes escaped.
std::string ResultText(const PortReport& report);
// The failing step's message with the system's reason, control bytes escaped.
std::string FailureText(const PortReport& report);

// "3 differences", "1 line": a count and its word.
std::string Plural(std::size_t n, const char* word);

// The outcome in words for people: "ok", "3 differences", "port not opened".
std::string OutcomeWords(const PortReport& report);

// An outcome word a run leaves in its report and journal row, as the
// listings' filters offer it: rv450-cli's --outcome and the Journal tab's list.
struct OutcomeName {
  const char* word;
  bool journalTab;  // offered by the window's Journal tab too
};
// Every outcome word, in the order rv450-cli names them.
inline constexpr OutcomeName kOutcomeNames[] = {
    {"ok", true},
    {"equal", true},
    {"different", true},
    {"port-not-opened", true},
    {"tracker-failed", true},
    {"tracker-changed", true},
    {"nothing-to-send", false},
    {"output-failed", true},
    {"stopped", true},
    {"no-row", true},
    {"skipped", true},
    {"refused", true},
    {"claim-failed", true},
};

}  // namespace kestrun::batch
