#include "protocol/FormModel.h"

#include <algorithm>

#include "protocol/ControlIds.h"
#include "protocol/Validation.h"
#include "protocol/ValueRules.h"

namespace kestrun {

using namespace ctl;

namespace {

// Report-mode radio index -> (reportMode, longConnection).
constexpr int kReportModes[4][2] = {{0, 0}, {1, 0}, {0, 1}, {2, 0}};

// The record's run of nine flags: the eight alarm boxes, then the info report flag.
static_assert(CBacCommand::kRun == 9);
int BacRunId(int i) { return i < 8 ? BacAlarmFlag[i] : InfoReportFlag; }

// The group's fields that have a cap, in the order their messages appear:
// the order of the form, except that the APN's comes after the other
// messages of its group.
std::vector<const FormField*> CappedFields(Group group) {
  std::vector<const FormField*> fields;
  for (const FormField& f : FormFields())
    if (f.group == group && f.capMessage) fields.push_back(&f);
  std::stable_partition(fields.begin(), fields.end(), [](const FormField* f) { return f->id != Apn; });
  return fields;
}

// Copies the group's text fields into their record. Caps that cut the form
// value run before the copy, caps that cut only the record's copy after it.
void TextsToRecord(CFormModel& model, Group group, IResultSink& sink) {
  const auto capped = CappedFields(group);
  for (const FormField* f : capped)
    if (f->capCut == CapCut::FormValue)
      ApplyCap(model.values.Text(f->id), static_cast<std::size_t>(f->limit), f->capMessage, sink);
  for (const FormField& f : FormFields())
    if (f.group == group && f.recordText) f.recordText(model) = model.values.Text(f.id);
  for (const FormField* f : capped)
    if (f->capCut == CapCut::RecordCopy)
      ApplyCap(f->recordText(model), static_cast<std::size_t>(f->limit), f->capMessage, sink);
}

// The reverse: the record's texts into the group's form values.
void TextsToForm(CFormModel& model, Group group) {
  for (const FormField& f : FormFields())
    if (f.group == group && f.recordText) model.values.Text(f.id) = f.recordText(model);
}

std::vector<RangeRule> MakeRangeRules() {
  std::vector<RangeRule> rules;
  for (const FormField& f : FormFields())
    if (f.range.label)
      rules.push_back({f.id, f.range.label, f.range.low, f.range.high, f.range.onlyIfNotEmpty});
  return rules;
}

const std::vector<RangeRule>& RangeRules() {
  static const std::vector<RangeRule> rules = MakeRangeRules();
  return rules;
}

void SetPreview(CFormValues& v, int id, const std::string& line, IFormOutput& out) {
  v.Text(id) = line;
  out.SetControlText(id, line);
}

// Takes a refresh's popups and previews and drops them.
class CSilentOutput : public IFormOutput {
 public:
  void ShowResult(const std::string&, const std::string&, ResultIcon, bool, int) override {}
  void SetControlText(int, const std::string&) override {}
};

int LowByte(int octet) { return octet & 0xFF; }

// What a preview shows instead of a line when a value breaks its rule; the
// preview's value (what a Send writes) is then empty.
void ExplainPreview(CFormValues& v, int id, const std::string& why, IFormOutput& out) {
  v.Text(id).clear();
  out.SetControlText(id, "Not sent: " + why);
}

std::string BrokenRuleText(CFormModel& model, const FormField& f) {
  const std::string& value = f.recordText(model);
  return DescribeBrokenRule(f, value, CheckValueRule(f, value).value_or(""));
}

// Shows the line of a group, or of one of its rows (a fence, a keypad key),
// in its preview, or why there is none.
template <typename Line>
bool ShowLine(CFormModel& model, Group group, int preview, Line& line, IFormOutput& out, int row = -1) {
  if (const FormField* broken = model.BrokenRuleField(group, row)) {
    line.clear();
    ExplainPreview(model.values, preview, BrokenRuleText(model, *broken), out);
    return false;
  }
  SetPreview(model.values, preview, line, out);
  return true;
}

}  // namespace

// Whether a Send carries the field's value: a fence's or key's field only
// with its row ticked, a white-list number only within Mobile Start..End.
bool IsSent(const CFormValues& v, const FormField& f) {
  if (f.row < 0) return true;
  switch (f.group) {
    case Group::Geo: return v.Number(FenceBox[f.row]) != 0;
    case Group::Kpn: return v.Number(KeyBox[f.row]) != 0;
    case Group::Wlt: return f.row >= v.Number(MobileStart) && f.row <= v.Number(MobileEnd);
    default: return true;
  }
}

const RangeRule* FindRangeRule(int id) {
  for (const RangeRule& rule : RangeRules())
    if (rule.id == id) return &rule;
  return nullptr;
}

void CFormModel::CheckFieldRange(int id, IResultSink& sink) {
  const RangeRule* rule = FindRangeRule(id);
  if (!rule) return;
  rangeHolds_.erase(id);  // an edit of the field ends what an earlier check replaced
  CheckAndHold(*rule, sink);
}

bool CFormModel::CheckAndHold(const RangeRule& rule, IResultSink& sink) {
  std::string& value = values.Text(rule.id);
  if (rule.onlyIfNotEmpty && value.empty()) return true;
  // A value that is no number at all is not made one: its rule refuses it.
  if (const FormField* field = FindFormField(rule.id); field && CheckValueRule(*field, value)) return true;
  const std::string checked = value;
  if (CheckRange(rule.label, rule.low, rule.high, value, sink)) return true;
  rangeHolds_[rule.id] = {checked, value};
  return false;
}

void CFormModel::ApplyRangeHolds(Group group) {
  for (auto hold = rangeHolds_.begin(); hold != rangeHolds_.end();) {
    const Binding* binding = FindBinding(hold->first);
    if (!binding || binding->group != group) {
      ++hold;
      continue;
    }
    std::string& value = values.Text(hold->first);
    if (value == hold->second.checked) {
      value = hold->second.replacement;
    } else if (value != hold->second.replacement) {
      // The field got its value from elsewhere (a config file, a reply).
      hold = rangeHolds_.erase(hold);
      continue;
    }
    ++hold;
  }
}

bool CFormModel::RefreshSriCommand(IFormOutput& out) {
  CFormValues& v = values;
  sri.serverIp = v.Address(SriIp);
  TextsToRecord(*this, Group::Sri, out);
  const int mode = v.Number(ReportMode);
  if (mode < 0 || mode > 3) return false;
  sri.reportMode = kReportModes[mode][0];
  sri.longConnection = kReportModes[mode][1];
  sri.Build();
  return ShowLine(*this, Group::Sri, SriPreview, sri.commandLine, out);
}

bool CFormModel::RefreshBeiCommand(IFormOutput& out) {
  ApplyRangeHolds(Group::Bei);
  CFormValues& v = values;
  bei.backupIp = v.Address(BeiIp);
  TextsToRecord(*this, Group::Bei, out);  // the cut applies to the record's copy only
  bei.Build();
  return ShowLine(*this, Group::Bei, BeiPreview, bei.commandLine, out);
}

bool CFormModel::RefreshTriCommand(IFormOutput& out) {
  ApplyRangeHolds(Group::Tri);
  TextsToRecord(*this, Group::Tri, out);
  tri.Build();
  return ShowLine(*this, Group::Tri, TriPreview, tri.commandLine, out);
}

bool CFormModel::RefreshGeoCommands(IFormOutput& out) {
  CFormValues& v = values;
  for (int n = 0; n < CGeoCommand::kFences; ++n) geo.fenceSelected[n] = v.Number(FenceBox[n]) ? 1 : 0;
  for (int n = 0; n < CGeoCommand::kFences; ++n) geo.fenceType[n] = v.Number(FenceType[n]) + 1;
  TextsToRecord(*this, Group::Geo, out);  // the caps cut the record's copies
  geo.Build();
  bool built = true;
  for (int n = 0; n < CGeoCommand::kFences; ++n) {
    if (!geo.fenceSelected[n]) geo.commandLines[n].clear();
    built = ShowLine(*this, Group::Geo, FencePreview[n], geo.commandLines[n], out, n) && built;
  }
  return built;
}

bool CFormModel::RefreshRtoCommand(IFormOutput& out) {
  const int operation = CRtoCommand::OperationForIndex(values.Number(RtoOption));
  if (operation < 0) return false;
  rto.operation = operation;
  rto.Build();
  SetPreview(values, RtoPreview, rto.commandLine, out);
  return true;
}

bool CFormModel::RefreshBacCommand(IFormOutput& out) {
  ApplyRangeHolds(Group::Bac);
  CFormValues& v = values;
  auto flag = [&](int id) { return v.Number(id) ? 1 : 0; };
  bac.overSpeedAlarm = flag(OverSpeedAlarm);
  for (int i = 0; i < CBacCommand::kRun; ++i) bac.flagRun[i] = flag(BacRunId(i));
  bac.movDetMode = flag(MovDetMode);
  TextsToRecord(*this, Group::Bac, out);
  bac.Build();
  return ShowLine(*this, Group::Bac, BacPreview, bac.commandLine, out);
}

bool CFormModel::RefreshKpnCommands(IFormOutput& out) {
  CFormValues& v = values;
  for (int k = 0; k < CKpnCommand::kKeys; ++k) kpn.keySelected[k] = v.Number(KeyBox[k]) ? 1 : 0;
  TextsToRecord(*this, Group::Kpn, out);
  for (int k = 0; k < CKpnCommand::kKeys; ++k) {
    if (KpnEnable[k] > 0) kpn.kpnEnable[k] = v.Number(KpnEnable[k]);
    if (AutoAnswer[k] > 0) kpn.autoAnswer[k] = v.Number(AutoAnswer[k]);
  }
  bool built = true;
  for (int k = 0; k < CKpnCommand::kKeys; ++k) {
    if (kpn.keySelected[k])
      kpn.Build(k);
    else
      kpn.commandLines[k].clear();
    built = ShowLine(*this, Group::Kpn, KeyPreview[k], kpn.commandLines[k], out, k) && built;
  }
  return built;
}

bool CFormModel::RefreshWltCommand(IFormOutput& out) {
  CFormValues& v = values;
  if (v.Number(MobileStart) > v.Number(MobileEnd)) {
    out.SetControlText(WltPreview, "");
    return false;
  }
  wlt.mobileEnd = v.Number(MobileEnd) + 1;
  wlt.mobileStart = v.Number(MobileStart) + 1;
  wlt.callFilter = v.Number(CallFilter);
  wlt.gglMode = v.Number(GglMode);
  TextsToRecord(*this, Group::Wlt, out);
  wlt.Build();  // on failure the previous line stays
  return ShowLine(*this, Group::Wlt, WltPreview, wlt.commandLine, out);
}

bool CFormModel::RefreshPinCommand(IFormOutput& out) {
  pin.pinCheck = values.Number(PinCheck);
  pin.autoUnlock = values.Number(AutoUnlock);
  TextsToRecord(*this, Group::Pin, out);
  pin.Build();
  return ShowLine(*this, Group::Pin, PinPreview, pin.commandLine, out);
}

bool CFormModel::RefreshGroup(Group group, IFormOutput& out) {
  switch (group) {
    case Group::Sri: return RefreshSriCommand(out);
    case Group::Bei: return RefreshBeiCommand(out);
    case Group::Tri: return RefreshTriCommand(out);
    case Group::Geo: return RefreshGeoCommands(out);
    case Group::Bac: return RefreshBacCommand(out);
    case Group::Kpn: return RefreshKpnCommands(out);
    case Group::Rto: return RefreshRtoCommand(out);
    case Group::Wlt: return RefreshWltCommand(out);
    case Group::Pin: return RefreshPinCommand(out);
  }
  return false;
}

bool CFormModel::ParseReply(Group group, const std::string& reply) {
  switch (group) {
    case Group::Sri: return sri.Parse(reply);
    case Group::Bei: return bei.Parse(reply);
    case Group::Tri: return tri.Parse(reply);
    case Group::Geo: return geo.Parse(reply);
    case Group::Bac: return bac.Parse(reply);
    case Group::Kpn: return kpn.Parse(reply);
    case Group::Wlt: return wlt.Parse(reply);
    case Group::Pin: return pin.Parse(reply);
    case Group::Rto: return false;
  }
  return false;
}

void CFormModel::TakeRecord(Group group, const CFormModel& from) {
  switch (group) {
    case Group::Sri: sri = from.sri; break;
    case Group::Bei: bei = from.bei; break;
    case Group::Tri: tri = from.tri; break;
    case Group::Geo: geo = from.geo; break;
    case Group::Bac: bac = from.bac; break;
    case Group::Kpn: kpn = from.kpn; break;
    case Group::Rto: rto = from.rto; break;
    case Group::Wlt: wlt = from.wlt; break;
    case Group::Pin: pin = from.pin; break;
  }
}

void CFormModel::ApplyReplyCaps(Group group, IResultSink& sink) {
  // A reply's values are cut in the record, with the reply side's messages.
  for (const FormField* f : CappedFields(group))
    ApplyCap(f->recordText(*this), static_cast<std::size_t>(f->limit), f->ReplyCapMessage(), sink);
}

void CFormModel::ApplyReplyToForm(Group group) {
  CFormValues& v = values;
  switch (group) {
    case Group::Sri: {
      for (int i = 0; i < 4; ++i) v.Address(SriIp)[i] = LowByte(sri.serverIp[i]);
      TextsToForm(*this, group);
      int index = -1;
      for (int i = 0; i < 4; ++i)
        if (kReportModes[i][0] == sri.reportMode && kReportModes[i][1] == sri.longConnection) index = i;
      v.Number(ReportMode) = index;
      break;
    }
    case Group::Bei:
      for (int i = 0; i < 4; ++i) v.Address(BeiIp)[i] = LowByte(bei.backupIp[i]);
      TextsToForm(*this, group);
      break;
    case Group::Tri: TextsToForm(*this, group); break;
    case Group::Geo:
      TextsToForm(*this, group);
      for (int n = 0; n < CGeoCommand::kFences; ++n) v.Number(FenceType[n]) = geo.fenceType[n] - 1;
      break;
    case Group::Bac:
      v.Number(OverSpeedAlarm) = bac.overSpeedAlarm;
      for (int i = 0; i < CBacCommand::kRun; ++i) v.Number(BacRunId(i)) = bac.flagRun[i];
      v.Number(MovDetMode) = bac.movDetMode;
      TextsToForm(*this, group);
      break;
    case Group::Kpn:
      TextsToForm(*this, group);
      for (int k = 0; k < CKpnCommand::kKeys; ++k) {
        if (KpnEnable[k] > 0) v.Number(KpnEnable[k]) = kpn.kpnEnable[k];
        if (AutoAnswer[k] > 0) v.Number(AutoAnswer[k]) = kpn.autoAnswer[k];
      }
      break;
    case Group::Wlt:
      TextsToForm(*this, group);
      v.Number(CallFilter) = wlt.callFilter;
      v.Number(GglMode) = wlt.gglMode;
      break;
    case Group::Pin:
      v.Number(AutoUnlock) = pin.autoUnlock;
      v.Number(PinCheck) = pin.pinCheck;
      TextsToForm(*this, group);
      break;
    case Group::Rto: break;
  }
}

std::vector<int> CFormModel::ReplyValueIds(Group group) {
  std::vector<int> ids;
  for (const Binding& b : Bindings()) {
    if (b.group != group || b.kind == ValueKind::Preview || b.id == Info(group).enableBox) continue;
    if (b.kind == ValueKind::Flag && group != Group::Bac) continue;  // fence and key row boxes
    if (b.id == MobileStart || b.id == MobileEnd) continue;
    ids.push_back(b.id);
  }
  return ids;
}

void CFormModel::PutReplyIntoForm(Group group, IFormOutput& out, const std::function<void()>& showValues) {
  liveUpdate = false;
  ApplyReplyToForm(group);
  if (showValues) showValues();
  for (int preview : Info(group).previews) out.SetControlText(preview, "");
  liveUpdate = true;
  RefreshGroup(group, out);
}

std::vector<std::string> CFormModel::PrepareSend(Group group, IFormOutput& out) {
  std::vector<std::string> lines;
  // Nothing out of range goes to the tracker: a value that no edit has
  // checked (it came from a config file or a reply) is checked now.
  ApplyRangeHolds(group);
  for (const RangeRule& rule : RangeRules())
    if (const Binding* binding = FindBinding(rule.id); binding && binding->group == group)
      CheckAndHold(rule, out);
  if (group == Group::Geo) {
    // The fences ticked when the step began decide which lines go out.
    bool ticked[CGeoCommand::kFences];
    for (int n = 0; n < CGeoCommand::kFences; ++n) ticked[n] = values.Number(FenceBox[n]) != 0;
    RefreshGeoCommands(out);
    for (int n = 0; n < CGeoCommand::kFences; ++n)
      if (ticked[n]) lines.push_back(geo.commandLines[n]);
    return lines;
  }
  RefreshGroup(group, out);
  if (group == Group::Kpn) {
    for (int k = 0; k < CKpnCommand::kKeys; ++k)
      if (kpn.keySelected[k]) lines.push_back(kpn.commandLines[k]);
    return lines;
  }
  lines.push_back(values.Text(Info(group).previews.front()));
  return lines;
}

GroupSelection CFormModel::SendAllSelection() const {
  GroupSelection selection{};
  for (const GroupInfo& info : AllGroups()) {
    bool selected = false;
    if (info.enableBox > 0) {
      selected = values.Number(info.enableBox) != 0;
    } else {
      const int* boxes = info.group == Group::Geo ? FenceBox : KeyBox;
      const int count = info.group == Group::Geo ? 4 : 5;
      for (int i = 0; i < count; ++i) selected = selected || values.Number(boxes[i]) != 0;
    }
    selection[static_cast<int>(info.group)] = selected;
  }
  return selection;
}

const FormField* CFormModel::BrokenRuleField(Group group, int row) {
  for (const FormField& f : FormFields()) {
    if (f.group != group || !f.recordText || (row >= 0 && f.row != row)) continue;
    if (IsSent(values, f) && CheckValueRule(f, f.recordText(*this))) return &f;
  }
  return nullptr;
}

bool CFormModel::CheckSendRules(const GroupSelection& selection, IResultSink& sink) {
  for (Group group : SendOrder()) {
    if (!selection[static_cast<int>(group)]) continue;
    // The record as the Send would build it, on a copy: checks and caps say nothing here.
    CFormModel scratch = *this;
    CSilentOutput quiet;
    scratch.PrepareSend(group, quiet);
    if (const FormField* broken = scratch.BrokenRuleField(group)) {
      sink.ShowFailure("Not sent: " + BrokenRuleText(scratch, *broken) + " !");
      return false;
    }
  }
  return true;
}

void CFormModel::SetPassword(const std::string& password) {
  for (CCommandRecord* record :
       std::initializer_list<CCommandRecord*>{&sri, &bei, &tri, &geo, &rto, &bac, &kpn, &wlt, &pin})
    record->password = password;
}

}  // namespace kestrun
