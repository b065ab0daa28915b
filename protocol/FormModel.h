// The state behind the configuration form: form values, the nine command
// records and the live-update flag, with the rules that tie them together
// (form values -> record -> preview, reply -> form values, caps and ranges).
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "protocol/BacCommand.h"
#include "protocol/BeiCommand.h"
#include "protocol/FormFields.h"
#include "protocol/FormValues.h"
#include "protocol/GeoCommand.h"
#include "protocol/Groups.h"
#include "protocol/KpnCommand.h"
#include "protocol/PinCommand.h"
#include "protocol/ResultSink.h"
#include "protocol/RtoCommand.h"
#include "protocol/SriCommand.h"
#include "protocol/TriCommand.h"
#include "protocol/WltCommand.h"

namespace kestrun {

// What a refresh needs from the form besides the values: popups and the
// preview controls' texts.
class IFormOutput : public virtual IResultSink {
 public:
  virtual void SetControlText(int id, const std::string& text) = 0;
};

struct RangeRule {
  int id;
  const char* label;
  const char* low;
  const char* high;
  bool onlyIfNotEmpty;
};

// The range check that runs before a refresh when the field changes, or null.
const RangeRule* FindRangeRule(int id);

// Whether a Send carries the field's value: a fence's or key's field only
// with its row ticked, a white-list number only within Mobile Start..End.
bool IsSent(const CFormValues& v, const FormField& f);

class CFormModel {
 public:
  CFormValues values;
  CSriCommand sri;
  CBeiCommand bei;
  CTriCommand tri;
  CGeoCommand geo;
  CRtoCommand rto;
  CBacCommand bac;
  CKpnCommand kpn;
  CWltCommand wlt;
  CPinCommand pin;
  // Edits rebuild previews only while set (the window thread's flag; a
  // device engine works on its own copy of the model).
  bool liveUpdate = false;

  bool RefreshSriCommand(IFormOutput& out);
  bool RefreshBeiCommand(IFormOutput& out);
  bool RefreshTriCommand(IFormOutput& out);
  bool RefreshGeoCommands(IFormOutput& out);
  bool RefreshRtoCommand(IFormOutput& out);
  bool RefreshBacCommand(IFormOutput& out);
  bool RefreshKpnCommands(IFormOutput& out);
  bool RefreshWltCommand(IFormOutput& out);
  bool RefreshPinCommand(IFormOutput& out);
  bool RefreshGroup(Group group, IFormOutput& out);

  // Runs the field's range check (if it has one) on its form value; the user
  // has just edited that field. A value the check replaces stays replaced in
  // every later refresh and Send of the group, while the field still holds
  // the text that was checked (the control keeps showing what was typed).
  void CheckFieldRange(int id, IResultSink& sink);

  // The group's record is ready after a successful Parse: cut over-long texts.
  void ApplyReplyCaps(Group group, IResultSink& sink);
  // Copies the group's record into its form values (the reverse of the refresh).
  void ApplyReplyToForm(Group group);
  // The bound controls whose values a reply of the group carries (not the
  // enable and row boxes, not the white-list range, not the previews).
  static std::vector<int> ReplyValueIds(Group group);
  // The whole hand-over of a parsed, capped reply: with the live-update flag
  // cleared, copy it into the form values, let `showValues` put them on
  // screen and empty the previews; then set the flag and refresh the group.
  void PutReplyIntoForm(Group group, IFormOutput& out, const std::function<void()>& showValues);
  bool ParseReply(Group group, const std::string& reply);
  // Takes the group's record (as a read left it) from another model.
  void TakeRecord(Group group, const CFormModel& from);

  // Refreshes the group and returns the lines a Send writes for it.
  std::vector<std::string> PrepareSend(Group group, IFormOutput& out);
  // The groups Send All covers: enable boxes, and any fence or key row box.
  GroupSelection SendAllSelection() const;

  // The first value in the group's record (as the last refresh filled it)
  // that breaks its field's value rule (a fence or key row: only that
  // row's), or null. Unticked rows
  // and white-list numbers outside Mobile Start..End are not sent and count
  // for nothing.
  const FormField* BrokenRuleField(Group group, int row = -1);
  // Before a Send of `selection` opens the port: false, with a popup naming
  // the field and its rule, when a value that would be sent breaks it.
  bool CheckSendRules(const GroupSelection& selection, IResultSink& sink);

  void SetPassword(const std::string& password);

 private:
  // A range check's replacement: while the field's value is still `checked`,
  // refreshes use `replacement` instead.
  struct RangeHold {
    std::string checked;
    std::string replacement;
  };
  bool CheckAndHold(const RangeRule& rule, IResultSink& sink);
  void ApplyRangeHolds(Group group);
  std::map<int, RangeHold> rangeHolds_;
};

}  // namespace kestrun
