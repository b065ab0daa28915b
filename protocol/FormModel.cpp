#include "protocol/FormModel.h"

#include "protocol/ControlIds.h"
#include "protocol/Validation.h"

namespace kestrun {

using namespace ctl;

namespace {

const RangeRule kRangeRules[] = {
    {BeginTime, "Begin Time", "0000", "2359", false},
    {EndTime, "End Time", "0000", "2359", false},
    {SendInterval, "Send Interval", "0", "1440", false},
    {FixInterval, "Fix Interval", "0", "86400", false},
    {PositionDelay, "Position Delay", "7", "900", true},
    {InfoReportPeriod, "Info Report Period", "1", "1440", true},
    {SendNum, "Movement Send Number", "1", "5", true},
};

// Report-mode radio index -> (reportMode, longConnection).
constexpr int kReportModes[4][2] = {{0, 0}, {1, 0}, {0, 1}, {2, 0}};

// A text value that a record carries straight from a form field, with its
// length cap (0 for none); the same cap text serves the form and the reply side.
template <typename Record>
struct TextBinding {
  int id;
  std::string Record::*field;
  std::size_t cap;
  const char* capMessage;
};

const TextBinding<CSriCommand> kSriTexts[] = {
    {SriPort, &CSriCommand::serverPort, 5, "Error, Server Port > 5 Byte"},
    {SmsGateway, &CSriCommand::smsGateway, 20, "Error, SMS Gateway > 20 Byte"},
    {ApnUser, &CSriCommand::apnUser, 20, "Error, User Name > 20 Byte"},
    {ApnPassword, &CSriCommand::apnPassword, 20, "Error, User Password > 20 Byte"},
    {Apn, &CSriCommand::apn, 40, "Error, APN > 40 Byte"},
};
const TextBinding<CBeiCommand> kBeiTexts[] = {
    {BeiPort, &CBeiCommand::serverPort, 5, "Error, Server Port > 5 Byte"},
    {PositionDelay, &CBeiCommand::positionDelay, 0, nullptr},
};
const TextBinding<CTriCommand> kTriTexts[] = {
    {BeginTime, &CTriCommand::beginTime, 4, "Error, Begin Time > 4 Byte"},
    {EndTime, &CTriCommand::endTime, 4, "Error, End Time > 4 Byte"},
    {SendInterval, &CTriCommand::sendInterval, 4, "Error, Send Interval > 4 Byte"},
    {FixInterval, &CTriCommand::fixInterval, 5, "Error, Fix Interval > 5 Byte"},
};
const TextBinding<CBacCommand> kBacTexts[] = {
    {SpeedLimited, &CBacCommand::speedLimited, 0, nullptr},
    {InfoReportPeriod, &CBacCommand::infoReportPeriod, 0, nullptr},
    {SendNum, &CBacCommand::sendNum, 0, nullptr},
    {MovSpeed, &CBacCommand::movSpeed, 0, nullptr},
    {MovDistance, &CBacCommand::movDistance, 0, nullptr},
};

template <typename Record, std::size_t N>
void CapFormValues(CFormValues& v, const TextBinding<Record> (&texts)[N], IResultSink& sink) {
  for (const auto& t : texts)
    if (t.cap) ApplyCap(v.Text(t.id), t.cap, t.capMessage, sink);
}

template <typename Record, std::size_t N>
void CapRecord(Record& record, const TextBinding<Record> (&texts)[N], IResultSink& sink) {
  for (const auto& t : texts)
    if (t.cap) ApplyCap(record.*t.field, t.cap, t.capMessage, sink);
}

template <typename Record, std::size_t N>
void CopyToRecord(const CFormValues& v, Record& record, const TextBinding<Record> (&texts)[N]) {
  for (const auto& t : texts) record.*t.field = v.Text(t.id);
}

template <typename Record, std::size_t N>
void CopyToForm(const Record& record, CFormValues& v, const TextBinding<Record> (&texts)[N]) {
  for (const auto& t : texts) v.Text(t.id) = record.*t.field;
}

void SetPreview(CFormValues& v, int id, const std::string& line, IFormOutput& out) {
  v.Text(id) = line;
  out.SetControlText(id, line);
}

// The fence caps, on the record's copies; the check-interval message differs
// between the form side and the reply side.
void CapFences(CGeoCommand& geo, const char* checkIntervalMessage, IResultSink& sink) {
  for (int n = 0; n < CGeoCommand::kFences; ++n) {
    ApplyCap(geo.longitude[n], 20, "Error, Longitude > 20 Byte", sink);
    ApplyCap(geo.latitude[n], 20, "Error, Latitude > 20 Byte", sink);
    ApplyCap(geo.radius[n], 10, "Error, Radius > 10 Byte", sink);
    ApplyCap(geo.checkInterval[n], 2, checkIntervalMessage, sink);
  }
}

int LowByte(int octet) { return octet & 0xFF; }

}  // namespace

const RangeRule* FindRangeRule(int id) {
  for (const RangeRule& rule : kRangeRules)
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
  CapFormValues(v, kSriTexts, out);
  sri.serverIp = v.Address(SriIp);
  CopyToRecord(v, sri, kSriTexts);
  const int mode = v.Number(ReportMode);
  if (mode < 0 || mode > 3) return false;
  sri.reportMode = kReportModes[mode][0];
  sri.longConnection = kReportModes[mode][1];
  sri.Build();
  SetPreview(v, SriPreview, sri.commandLine, out);
  return true;
}

bool CFormModel::RefreshBeiCommand(IFormOutput& out) {
  ApplyRangeHolds(Group::Bei);
  CFormValues& v = values;
  bei.backupIp = v.Address(BeiIp);
  CopyToRecord(v, bei, kBeiTexts);
  CapRecord(bei, kBeiTexts, out);  // the cut applies to the record's copy only
  bei.Build();
  SetPreview(v, BeiPreview, bei.commandLine, out);
  return true;
}

bool CFormModel::RefreshTriCommand(IFormOutput& out) {
  ApplyRangeHolds(Group::Tri);
  CFormValues& v = values;
  CapFormValues(v, kTriTexts, out);
  CopyToRecord(v, tri, kTriTexts);
  tri.Build();
  SetPreview(v, TriPreview, tri.commandLine, out);
  return true;
}

bool CFormModel::RefreshGeoCommands(IFormOutput& out) {
  CFormValues& v = values;
  for (int n = 0; n < CGeoCommand::kFences; ++n) geo.fenceSelected[n] = v.Number(FenceBox[n]) ? 1 : 0;
  for (int n = 0; n < CGeoCommand::kFences; ++n) {
    geo.longitude[n] = v.Text(Longitude[n]);
    geo.latitude[n] = v.Text(Latitude[n]);
    geo.radius[n] = v.Text(Radius[n]);
    geo.checkInterval[n] = v.Text(CheckInterval[n]);
    geo.fenceType[n] = v.Number(FenceType[n]) + 1;
  }
  CapFences(geo, "Error, Check Interval <= 2 Byte", out);
  geo.Build();
  for (int n = 0; n < CGeoCommand::kFences; ++n) {
    if (!geo.fenceSelected[n]) geo.commandLines[n].clear();
    SetPreview(v, FencePreview[n], geo.commandLines[n], out);
  }
  return true;
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
  for (int i = 0; i < CBacCommand::kRun; ++i) bac.flagRun[i] = flag(BacFlagRun[i]);
  bac.movDetMode = flag(MovDetMode);
  CopyToRecord(v, bac, kBacTexts);
  bac.Build();
  SetPreview(v, BacPreview, bac.commandLine, out);
  return true;
}

bool CFormModel::RefreshKpnCommands(IFormOutput& out) {
  CFormValues& v = values;
  for (int k = 0; k < CKpnCommand::kKeys; ++k) kpn.keySelected[k] = v.Number(KeyBox[k]) ? 1 : 0;
  for (int k = 0; k < CKpnCommand::kKeys; ++k) {
    kpn.phoneNumber[k] = v.Text(PhoneNumber[k]);
    kpn.phoneName[k] = v.Text(PhoneName[k]);
    if (KpnEnable[k] > 0) kpn.kpnEnable[k] = v.Number(KpnEnable[k]);
    if (AutoAnswer[k] > 0) kpn.autoAnswer[k] = v.Number(AutoAnswer[k]);
  }
  for (int k = 0; k < CKpnCommand::kKeys; ++k) {
    if (kpn.keySelected[k])
      kpn.Build(k);
    else
      kpn.commandLines[k].clear();
    SetPreview(v, KeyPreview[k], kpn.commandLines[k], out);
  }
  return true;
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
  for (int p = 0; p < CWltCommand::kNumbers; ++p) wlt.numbers[p] = v.Text(WhiteNumber[p]);
  wlt.Build();  // on failure the previous line stays
  SetPreview(v, WltPreview, wlt.commandLine, out);
  return true;
}

bool CFormModel::RefreshPinCommand(IFormOutput& out) {
  pin.pinCheck = values.Number(PinCheck);
  pin.autoUnlock = values.Number(AutoUnlock);
  pin.pin = values.Text(Pin);
  pin.Build();
  SetPreview(values, PinPreview, pin.commandLine, out);
  return true;
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
  switch (group) {
    case Group::Sri: CapRecord(sri, kSriTexts, sink); break;
    case Group::Bei: CapRecord(bei, kBeiTexts, sink); break;
    case Group::Tri: CapRecord(tri, kTriTexts, sink); break;
    case Group::Geo: CapFences(geo, "Error, Check Interval > 2 Byte", sink); break;
    default: break;  // no caps on the other groups
  }
}

void CFormModel::ApplyReplyToForm(Group group) {
  CFormValues& v = values;
  switch (group) {
    case Group::Sri: {
      for (int i = 0; i < 4; ++i) v.Address(SriIp)[i] = LowByte(sri.serverIp[i]);
      CopyToForm(sri, v, kSriTexts);
      int index = -1;
      for (int i = 0; i < 4; ++i)
        if (kReportModes[i][0] == sri.reportMode && kReportModes[i][1] == sri.longConnection) index = i;
      v.Number(ReportMode) = index;
      break;
    }
    case Group::Bei:
      for (int i = 0; i < 4; ++i) v.Address(BeiIp)[i] = LowByte(bei.backupIp[i]);
      CopyToForm(bei, v, kBeiTexts);
      break;
    case Group::Tri: CopyToForm(tri, v, kTriTexts); break;
    case Group::Geo:
      for (int n = 0; n < CGeoCommand::kFences; ++n) {
        v.Text(Longitude[n]) = geo.longitude[n];
        v.Text(Latitude[n]) = geo.latitude[n];
        v.Text(Radius[n]) = geo.radius[n];
        v.Text(CheckInterval[n]) = geo.checkInterval[n];
        v.Number(FenceType[n]) = geo.fenceType[n] - 1;
      }
      break;
    case Group::Bac:
      v.Number(OverSpeedAlarm) = bac.overSpeedAlarm;
      for (int i = 0; i < CBacCommand::kRun; ++i) v.Number(BacFlagRun[i]) = bac.flagRun[i];
      v.Number(MovDetMode) = bac.movDetMode;
      CopyToForm(bac, v, kBacTexts);
      break;
    case Group::Kpn:
      for (int k = 0; k < CKpnCommand::kKeys; ++k) {
        v.Text(PhoneNumber[k]) = kpn.phoneNumber[k];
        v.Text(PhoneName[k]) = kpn.phoneName[k];
        if (KpnEnable[k] > 0) v.Number(KpnEnable[k]) = kpn.kpnEnable[k];
        if (AutoAnswer[k] > 0) v.Number(AutoAnswer[k]) = kpn.autoAnswer[k];
      }
      break;
    case Group::Wlt:
      for (int p = 0; p < CWltCommand::kNumbers; ++p) v.Text(WhiteNumber[p]) = wlt.numbers[p];
      v.Number(CallFilter) = wlt.callFilter;
      v.Number(GglMode) = wlt.gglMode;
      break;
    case Group::Pin:
      v.Number(AutoUnlock) = pin.autoUnlock;
      v.Number(PinCheck) = pin.pinCheck;
      v.Text(Pin) = pin.pin;
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
  for (const RangeRule& rule : kRangeRules)
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

void CFormModel::SetPassword(const std::string& password) {
  sri.password = bei.password = tri.password = geo.password = rto.password = bac.password = kpn.password =
      wlt.password = pin.password = password;
}

}  // namespace kestrun
