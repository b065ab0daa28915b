// What a device operation reports to its front end. The engine calls these on
// its worker thread, in the order the user is meant to see them; a front end
// applies them on its own thread (the window waits until each is applied, the
// command line prints or collects). Nothing passed here refers to state the
// front end owns, and a reference argument is valid only during the call.
#pragma once

#include <functional>
#include <string>

#include "engine/Hints.h"
#include "protocol/FormModel.h"
#include "protocol/Groups.h"
#include "protocol/Identity.h"

namespace kestrun {

struct PopupRequest {
  std::string caption;
  std::string message;
  ResultIcon iconKind = kIconFailure;  // kIconSuccess or kIconFailure
  bool autoClose = false;
  int delayMs = 1000;
  // What to do about it, said under the message; empty: nothing known.
  std::string hint;
};

enum class Outcome {
  Success,
  NothingSelected,  // Send All with no group ticked; no port touched
  NothingToSend,    // a selected group has no command line; no port touched
  PortNotOpened,
  TrackerFailed,   // no response, wrong response, refused or failed line, lost port
  Stopped,         // stopped from outside (window closed, Ctrl+C)
  Declined,        // the front end declined the tracker after its identity; nothing was sent
  TrackerChanged,  // the tracker gave another IMEI (or none) at the end than at the start
};

struct OperationResult {
  Outcome outcome = Outcome::Success;
  std::string message;  // the failure's status text, empty on success
  std::string detail;   // the system's reason where there is one
  // Why the traffic log could not be written, the first time in the
  // operation ("<file>: <step>: <reason>"); empty when it could. The
  // operation goes on without the log, so this is no failure of it.
  std::string logError;
  // The failure's cause where it is known, and what the user can do about it.
  Cause cause = Cause::None;
  std::string hint;
  bool ok() const { return outcome == Outcome::Success; }
};

// What a front end decides once a Send knows which tracker it talks to: it
// may change the form's values (that tracker's own); false declines it, with
// `declined.message` saying why.
using AfterIdentify =
    std::function<bool(const TrackerIdentity& identity, CFormModel& form, OperationResult& declined)>;

class IEngineEvents {
 public:
  virtual ~IEngineEvents() = default;
  // The operation begins: the form goes busy.
  virtual void OperationStarted() {}
  virtual void StatusChanged(const std::string& /*text*/) {}
  // Why the status line says what it says (a system reason), or empty.
  virtual void StatusExplained(const std::string& /*detail*/) {}
  virtual void PopupRequested(const PopupRequest& /*popup*/) {}
  // A settings line is about to be written to the tracker.
  virtual void HistoryAppended(const std::string& /*line*/) {}
  // A refresh during a Send set a preview control to `shown`; the preview's
  // form value is now `stored` (a refresh that fails only blanks the control).
  virtual void PreviewBuilt(int /*id*/, const std::string& /*shown*/, const std::string& /*stored*/) {}
  // A group step begins: `index` of `count` selected groups, counting from 1.
  virtual void GroupStarted(Group /*group*/, int /*index*/, int /*count*/) {}
  // A group was read: `reading` holds its parsed, capped record and the form
  // values taken from it (the engine's copy).
  // The tracker is being woken: `attempt` of `count`, counting from 1.
  virtual void WakeUpAttempt(int /*attempt*/, int /*count*/) {}
  virtual void GroupRead(Group /*group*/, const CFormModel& /*reading*/) {}
  virtual void FirmwareVersionRead(const std::string& /*version*/) {}
  // The identity queries were answered (each item may be empty).
  virtual void IdentityRead(const TrackerIdentity& /*identity*/) {}
  // A piece of the terminal's reply, as it arrived (control bytes and all).
  virtual void TerminalReply(const std::string& /*chunk*/) {}
  // The operation is over and its port closed: the form goes idle.
  virtual void OperationFinished(const OperationResult& /*result*/) {}
};

}  // namespace kestrun
