#include "engine/GroupOperations.h"

#include <optional>
#include <vector>

#include "engine/ExchangeReasons.h"
#include "protocol/ControlChars.h"
#include "protocol/Fields.h"
#include "protocol/FormFields.h"
#include "protocol/ReplyRules.h"

namespace kestrun {

namespace {

constexpr const char* kNoLine = "No Command Line To Send !";
constexpr const char* kNothingSelected = "No Function Selected !";
constexpr const char* kIdentifying = "Identifying Tracker ......";
constexpr const char* kRechecking = "Checking Tracker IMEI ......";

std::string GroupText(const char* before, Group group, const char* after) {
  return std::string(before) + "AT+RV" + Info(group).name + after;
}

// How a note names a reply value: its config file section and key.
std::string ValueName(const FormField& field) {
  if (field.key.empty()) return std::string("AT+RV") + Info(field.group).name + " value";
  return "[" + field.section + "] " + field.key;
}

// What a refresh of `model` reports (cap popups, rebuilt previews), passed on
// as events; with no events it is dropped.
class CRefreshOutput : public IFormOutput {
 public:
  CRefreshOutput(IEngineEvents* events, const CFormModel& model) : events_(events), model_(model) {}
  void ShowResult(const std::string& caption, const std::string& message, ResultIcon iconKind, bool autoClose,
                  int delayMs) override {
    if (events_) events_->PopupRequested({caption, message, iconKind, autoClose, delayMs, {}});
  }
  void SetControlText(int id, const std::string& text) override {
    if (events_) events_->PreviewBuilt(id, text, model_.values.Text(id));
  }

 private:
  IEngineEvents* events_;
  const CFormModel& model_;
};

int CountSelected(const GroupSelection& selection, const std::vector<Group>& order) {
  int count = 0;
  for (Group group : order) count += selection[static_cast<int>(group)] ? 1 : 0;
  return count;
}

}  // namespace

CGroupOperations::CGroupOperations(CAtExchange& exchange, CFormModel& model, IEngineEvents& events)
    : exchange_(exchange), model_(model), events_(events) {}

void CGroupOperations::DropReplyControlBytes(Group group) {
  for (const FormField& field : FormFields()) {
    if (field.group != group || !field.recordText) continue;
    std::string& text = field.recordText(model_);
    const std::vector<std::string> names = ControlByteNames(text);
    if (names.empty()) continue;
    text = WithoutControlBytes(text);
    exchange_.ShowFailure(ControlBytesDroppedNote(ValueName(field), names));
  }
}

bool CGroupOperations::ReadGroup(Group group) {
  exchange_.SetStatus(GroupText("Reading ", group, " ......"));
  const std::string tag = std::string("RV") + Info(group).name + ":";
  std::optional<ReplyFailure> failure;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::string reply;
    if (const PortResult result = exchange_.QueryGroup(group, reply); !result) {
      // The port failed: no point in asking again.
      exchange_.NotePortFailure(result);
      failure = ReplyFailure::NoResponse;
      break;
    }
    const std::size_t tagPos = reply.find(tag);
    const std::size_t okPos = FindClosingOk(reply);
    if (tagPos != std::string::npos && okPos != std::string::npos && tagPos < okPos) {
      if (model_.ParseReply(group, reply)) {
        DropReplyControlBytes(group);
        failure.reset();
        break;
      }
      failure = ReplyFailure::ReadDataError;
    } else {
      failure = ReplyFailure::NoResponse;
    }
    if (exchange_.Stopped()) break;
  }
  if (failure) {
    exchange_.ReportReplyFailure(*failure);
    exchange_.SetStatus(GroupText("Read ", group, " Fail !"));
    return false;
  }
  CRefreshOutput out(quiet_ ? nullptr : &events_, model_);
  model_.ApplyReplyCaps(group, out);
  model_.ApplyReplyToForm(group);
  events_.GroupRead(group, model_);
  exchange_.SetStatus(GroupText("Read ", group, " Success ."));
  return true;
}

OperationResult CGroupOperations::ReadGroups(const GroupSelection& selection) {
  CAtExchange& x = exchange_;
  TrackerIdentity identity;
  if (auto failed = OpenAndWake(identify_ ? &identity : nullptr)) return *failed;
  if (identify_) {
    events_.FirmwareVersionRead(identity.firmware);
    events_.IdentityRead(identity);
  } else {
    events_.FirmwareVersionRead(x.QueryFirmwareVersion());
  }
  const int count = CountSelected(selection, ReadOrder());
  int index = 0;
  for (Group group : ReadOrder()) {
    if (x.Stopped()) return x.Finish(false);
    if (!selection[static_cast<int>(group)]) continue;
    events_.GroupStarted(group, ++index, count);
    if (!ReadGroup(group)) return x.Finish(false);
  }
  if (auto changed = TrackerChanged(false)) return *changed;
  return CloseWithSuccess("Read AT Command Success .", "Read Setting Success .");
}

OperationResult CGroupOperations::Identify() {
  CAtExchange& x = exchange_;
  TrackerIdentity identity;
  if (auto failed = OpenAndWake(&identity)) return *failed;
  if (x.Stopped()) return x.Finish(false);
  events_.IdentityRead(identity);
  if (!x.Bracket(x.SetSlowClock(true))) return x.Finish(false);
  x.Finish(true);
  x.SetStatus("Identify Tracker Success . IMEI: " + (identity.imei.empty() ? "unknown" : identity.imei) +
              (identity.imei.empty() || identity.imeiValid ? "" : " (invalid)"));
  return {};
}

const GroupInfo* CGroupOperations::GroupWithoutLine(const GroupSelection& selection) const {
  CFormModel scratch = model_;
  CRefreshOutput quiet(nullptr, scratch);
  for (Group group : SendOrder()) {
    if (!selection[static_cast<int>(group)]) continue;
    const std::vector<std::string> lines = scratch.PrepareSend(group, quiet);
    bool missing = lines.empty();
    for (const std::string& line : lines) missing = missing || line.empty();
    if (missing) return &Info(group);
  }
  return nullptr;
}

OperationResult CGroupOperations::SendGroups(const GroupSelection& selection) {
  CAtExchange& x = exchange_;
  // A group with nothing to send would put a bare carriage return on the
  // line: say so before any port is touched. Values the front end sets after
  // the identity queries are checked then instead.
  const bool valuesAfterIdentify = identify_ && afterIdentify_;
  if (const GroupInfo* info = valuesAfterIdentify ? nullptr : GroupWithoutLine(selection)) {
    x.SetStatus(GroupText("Send ", info->group, " Fail !"));
    x.ShowFailure(kNoLine);
    return {Outcome::NothingToSend, kNoLine, {}, {}, Cause::None, {}};
  }
  TrackerIdentity identity;
  if (auto failed = OpenAndWake(identify_ ? &identity : nullptr)) return *failed;
  if (identify_) {
    events_.IdentityRead(identity);
    if (afterIdentify_) {
      if (x.Stopped()) return x.Finish(false);
      OperationResult declined;
      const bool go = afterIdentify_(identity, model_, declined);
      // The tracker's own values may leave a group without a line.
      const GroupInfo* info = go ? GroupWithoutLine(selection) : nullptr;
      if (!go || info) {
        // Closed as a finished Read closes: the tracker goes back to sleep.
        if (!x.Bracket(x.SetSlowClock(true))) return x.Finish(false);
        x.Finish(true);
        if (info) {
          x.SetStatus(GroupText("Send ", info->group, " Fail !"));
          x.ShowFailure(kNoLine);
          return {Outcome::NothingToSend, kNoLine, {}, {}, Cause::None, {}};
        }
        x.SetStatus(declined.message);
        declined.outcome = Outcome::Declined;
        return declined;
      }
    }
  }
  if (!x.Bracket(x.SetWcsl(true))) return x.Finish(false);
  const int count = CountSelected(selection, SendOrder());
  int index = 0;
  CRefreshOutput out(&events_, model_);
  for (Group group : SendOrder()) {
    if (x.Stopped()) return x.Finish(false);
    if (!selection[static_cast<int>(group)]) continue;
    events_.GroupStarted(group, ++index, count);
    x.SetStatus(GroupText("Sending ", group, " ......"));
    for (const std::string& line : model_.PrepareSend(group, out)) {
      if (!x.ExchangeCommand(line)) {
        x.SetStatus(GroupText("Send ", group, " Fail !"));
        return x.Finish(false);
      }
    }
  }
  if (auto changed = TrackerChanged(true)) return *changed;
  if (!x.Bracket(x.SetWcsl(false))) return x.Finish(false);
  return CloseWithSuccess("Send AT Command Success .", "Send Setting Success .");
}

std::optional<OperationResult> CGroupOperations::OpenAndWake(TrackerIdentity* identity) {
  CAtExchange& x = exchange_;
  if (!x.OpenPort() || !x.Bracket(x.SetSlowClock(false))) return x.Finish(false);
  if (identity) {
    x.SetStatus(kIdentifying);
    *identity = x.QueryIdentity();
    // The IMEI the identity queries gave is the one the recheck expects.
    if (recheck_ && expectedImei_.empty()) expectedImei_ = identity->imei;
  }
  return std::nullopt;
}

std::optional<OperationResult> CGroupOperations::TrackerChanged(bool writing) {
  if (!recheck_ || expectedImei_.empty()) return std::nullopt;
  CAtExchange& x = exchange_;
  if (x.Stopped()) return x.Finish(false);
  x.SetStatus(kRechecking);
  std::string imei;
  if (!x.QueryImeiAgain(imei)) {
    x.ReportReplyFailure(ReplyFailure::NoResponse);
    return x.Finish(false);
  }
  if (x.Stopped()) return x.Finish(false);
  if (imei == expectedImei_) return std::nullopt;
  const std::string reason = TrackerChangedReason(x.PortNumber(), expectedImei_, imei);
  // Another tracker answers: it is closed as a finished operation would close
  // it. One that gives no IMEI may not answer at all: the port is closed
  // without the closing lines, as after a failed line.
  if (!imei.empty()) {
    if (!writing || x.SetWcsl(false)) x.SetSlowClock(true);
  }
  x.Finish(true);
  x.SetStatus(reason);
  x.ShowFailure(reason);
  return OperationResult{Outcome::TrackerChanged, reason, {}, {}, Cause::None, {}};
}

OperationResult CGroupOperations::CloseWithSuccess(const char* status, const char* popup) {
  CAtExchange& x = exchange_;
  if (!x.Bracket(x.SetSlowClock(true))) return x.Finish(false);
  x.Finish(true);
  x.SetStatus(status);
  if (!quiet_) events_.PopupRequested({kAppTitle, popup, kIconSuccess, true, 1000, {}});
  return {};
}

OperationResult CGroupOperations::SendAll() {
  const GroupSelection selection = model_.SendAllSelection();
  if (CountSelected(selection, SendOrder()) == 0) {
    exchange_.ShowFailure(kNothingSelected);
    return {Outcome::NothingSelected, kNothingSelected, {}, {}, Cause::None, {}};
  }
  return SendGroups(selection);
}

}  // namespace kestrun
