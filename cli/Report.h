// What one port's run comes to, and how it is shown: text lines, one JSON
// object, and the closing table when several ports ran.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "batch/Compare.h"
#include "cli/Args.h"
#include "protocol/Identity.h"

namespace kestrun::cli {

// The version of the JSON members: a new member keeps it, a member renamed
// or removed (or its meaning changed) raises it.
constexpr int kJsonSchema = 1;

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
  std::string settingsHash;            // provision: the journal's hash of the merged keys sent, or empty
  std::string journalError;            // why its journal row could not be written, or empty
  double seconds = 0;
};

// A value for the text output: quoted, with \\, \" and control bytes escaped.
std::string Quoted(const std::string& value);
// A JSON string literal; bytes that are not UTF-8 become \u00XX.
std::string JsonString(const std::string& value);

// `quiet`: a port that did its work shows only its results (differences).
void PrintText(std::ostream& out, const PortReport& report, bool quiet = false);
void PrintJson(std::ostream& out, const PortReport& report);
// The one object of a run refused before any port: {"schema":1,"error":...,"exitCode":2}.
void PrintJsonError(std::ostream& out, const std::string& error, int exitCode);
// identify: PORT DEVICE IMEI ICCID FIRMWARE SIGNAL, one row per port.
void PrintIdentityTable(std::ostream& out, const std::vector<PortReport>& reports);
void PrintClosingTable(std::ostream& out, const std::vector<PortReport>& reports);

// Exit code of Outcome-like words, for the table.
std::string OutcomeWords(const PortReport& report);

}  // namespace kestrun::cli
