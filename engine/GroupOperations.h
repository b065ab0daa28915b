// The Read, Send and Send All operations of one device engine, from opening
// the port to closing it: the group reads and sends in their order, bracketed
// by the wake-up and WCSL commands, over the engine's AT exchange. They work
// on the engine's own copy of the form and report through IEngineEvents.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "engine/AtExchange.h"
#include "engine/EngineEvents.h"
#include "protocol/FormModel.h"

namespace kestrun {

class CGroupOperations {
 public:
  CGroupOperations(CAtExchange& exchange, CFormModel& model, IEngineEvents& events);

  OperationResult ReadGroups(const GroupSelection& selection);
  OperationResult SendGroups(const GroupSelection& selection);
  // Send All: the groups ticked in the form, or a popup when there are none.
  OperationResult SendAll();
  // The identity queries alone, between the wake-up and the closing AT+CSCLK=1.
  OperationResult Identify();

  // Read and Send ask the identity queries right after the wake-up.
  void IdentifyAfterWakeUp(bool on) { identify_ = on; }
  // Reply caps cut without a popup, and no success popup.
  void Quiet(bool on) { quiet_ = on; }
  // Send with identify: the front end's say after the identity queries.
  void SetAfterIdentify(AfterIdentify hook) { afterIdentify_ = std::move(hook); }

  // Read and Send ask the IMEI again at the end of their bracket and end as
  // Outcome::TrackerChanged when it is not `imei` (empty: the IMEI their
  // identity queries gave; nothing is asked while none is known).
  void RecheckImei(bool on, std::string imei) {
    recheck_ = on;
    expectedImei_ = std::move(imei);
  }

  // One group's query, up to three times, parsed into the form; open to tests.
  bool ReadGroup(Group group);

 private:
  // The closing bracket (AT+CSCLK=1) of a successful operation, then its
  // status text and success popup.
  OperationResult CloseWithSuccess(const char* status, const char* popup);
  // The lines each selected group would send, built on a scratch copy; the
  // first group without one, or nothing.
  const GroupInfo* GroupWithoutLine(const GroupSelection& selection) const;
  // A parsed reply's texts keep no control bytes (a file written from them
  // must load again): each value that held some loses them, with a note.
  void DropReplyControlBytes(Group group);
  // With the recheck on and an IMEI known: asks it again; nothing when the
  // tracker still gives it, else the operation's end (the brackets closed,
  // WCSL too when `writing`, if the other tracker answers).
  std::optional<OperationResult> TrackerChanged(bool writing);
  // Opens the port and wakes the tracker (AT+CSCLK=0); with `identity`, asks
  // the identity queries into it, whose IMEI the recheck then expects.
  // Nothing when all went well, else the operation's end.
  std::optional<OperationResult> OpenAndWake(TrackerIdentity* identity);

  CAtExchange& exchange_;
  CFormModel& model_;
  IEngineEvents& events_;
  bool identify_ = false;
  bool quiet_ = false;
  AfterIdentify afterIdentify_;
  bool recheck_ = false;
  std::string expectedImei_;
};

}  // namespace kestrun
