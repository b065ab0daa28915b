#include "ui/FormLayout.h"

#include <initializer_list>
#include <map>

#include "protocol/ControlIds.h"
#include "protocol/FormFields.h"

namespace kestrun {

using namespace ctl;

namespace {

std::vector<std::string> NumberItems() {
  std::vector<std::string> items;
  for (int i = 1; i <= 10; ++i) items.push_back(std::to_string(i));
  return items;
}

class TableBuilder {
 public:
  explicit TableBuilder(std::vector<ControlEntry>& out) : out_(out) {}
  void Group(int index) { group_ = index; }
  void Add(int id, CtlKind kind, std::string caption, DluRect rect, std::string name = {},
           std::vector<std::string> items = {}) {
    if (name.empty()) name = caption;
    out_.push_back({id, kind, std::move(caption), rect, group_, std::move(name), std::move(items), 0});
  }
  void Label(const std::string& text, DluRect rect, int forId = 0) {
    out_.push_back({0, CtlKind::Label, text, rect, group_, text, {}, forId});
  }
  // A row of labels over columns at `y`: each a text, its left edge, its
  // width and its height.
  struct Heading {
    const char* text;
    int x;
    int width;
    int height = 10;
  };
  void Headings(int y, std::initializer_list<Heading> headings) {
    for (const Heading& h : headings) Label(h.text, {h.x, y, h.width, h.height});
  }
  void Frame(const std::string& title, DluRect rect) {
    out_.push_back({0, CtlKind::Frame, title, rect, group_, title, {}, 0});
  }
  // A label and the field it names, side by side.
  void LabeledEdit(int id, const std::string& label, DluRect labelRect, DluRect editRect) {
    Label(label, labelRect, id);
    Add(id, CtlKind::Edit, "", editRect, label);
  }
  void LabeledCombo(int id, const std::string& label, DluRect labelRect, DluRect comboRect,
                    std::vector<std::string> items) {
    Label(label, labelRect, id);
    Add(id, CtlKind::Combo, "", comboRect, label, std::move(items));
  }
  void Enable(int id, int y) { Add(id, CtlKind::CheckBox, "Enable This Function", {14, y, 90, 10}); }
  void Read(int id, int y) { Add(id, CtlKind::Button, "Read", {319, y, 47, 15}); }
  void PreviewAndSend(int previewId, int sendId, int y, int sendWidth = 47) {
    const int sendX = 366 - sendWidth;
    Add(previewId, CtlKind::Preview, "", {14, y, sendX - 6 - 14, 14}, "Command Preview");
    Add(sendId, CtlKind::Button, "Send", {sendX, y - 1, sendWidth, 15});
  }

 private:
  std::vector<ControlEntry>& out_;
  int group_ = -1;
};

std::vector<ControlEntry> MakeControls() {
  std::vector<ControlEntry> c;
  TableBuilder t(c);
  t.Group(-1);
  t.Add(StatusLine, CtlKind::Status, "", {13, 7, 357, 13}, "Status");

  // Server registration
  t.Group(0);
  t.Enable(SriEnable, 36);
  t.Read(SriRead, 34);
  t.Frame("Report Mode", {14, 50, 352, 48});
  t.Add(ReportMode0, CtlKind::Radio, "TCP Short Connection(SMS For Backup)", {22, 63, 160, 10});
  t.Add(ReportMode1, CtlKind::Radio, "TCP Short Connection(Force On GPRS)", {190, 63, 160, 10});
  t.Add(ReportMode2, CtlKind::Radio, "TCP Long Connection", {22, 80, 160, 10});
  t.Add(ReportMode3, CtlKind::Radio, "Force On SMS", {190, 80, 160, 10});
  t.Frame("Main Server Setting", {14, 102, 352, 46});
  t.Label("IP Address:", {22, 117, 50, 10}, SriIp);
  t.Add(SriIp, CtlKind::IpField, "", {96, 115, 100, 13}, "IP Address:");
  t.Label(":", {199, 117, 5, 10});
  t.Add(SriPort, CtlKind::Edit, "", {206, 115, 40, 13}, "Server Port");
  t.LabeledEdit(SmsGateway, "Main SMS Gateway:", {22, 133, 70, 10}, {96, 131, 150, 13});
  t.Frame("GPRS Setting", {14, 152, 352, 50});
  t.LabeledEdit(Apn, "APN:", {22, 167, 70, 10}, {96, 165, 262, 13});
  t.LabeledEdit(ApnUser, "User Name:", {22, 184, 70, 10}, {96, 182, 90, 13});
  t.LabeledEdit(ApnPassword, "APN User Password:", {194, 184, 72, 10}, {268, 182, 90, 13});
  t.PreviewAndSend(SriPreview, SriSend, 208, 35);

  // Secondary server
  t.Group(1);
  t.Enable(BeiEnable, 254);
  t.LabeledEdit(PositionDelay, "Position Delay (s):", {150, 256, 70, 10}, {222, 254, 30, 13});
  t.Read(BeiRead, 252);
  t.Label("Secondary Server IP Address:", {14, 274, 104, 10}, BeiIp);
  t.Add(BeiIp, CtlKind::IpField, "", {120, 272, 100, 13}, "Secondary Server IP Address:");
  t.Label(":", {223, 274, 5, 10});
  t.Add(BeiPort, CtlKind::Edit, "", {230, 272, 40, 13}, "Server Port");
  t.PreviewAndSend(BeiPreview, BeiSend, 295);

  // Timing report
  t.Group(2);
  t.Enable(TriEnable, 341);
  t.Read(TriRead, 339);
  // Two rows of two labeled fields.
  const int timingIds[4] = {BeginTime, EndTime, SendInterval, FixInterval};
  const char* timingLabels[4] = {"Begin Time (hhmm):", "End Time (hhmm):", "Send Interval (Minutes):",
                                 "Fix Interval (Seconds):"};
  for (int i = 0; i < 4; ++i) {
    const int x = 14 + 176 * (i % 2);
    const int y = 359 + 18 * (i / 2);
    t.LabeledEdit(timingIds[i], timingLabels[i], {x, y, 80, 10}, {x + 82, y - 2, 40, 13});
  }
  t.PreviewAndSend(TriPreview, TriSend, 402);

  // Geofences
  t.Group(3);
  t.Read(GeoRead, 446);
  t.Headings(464, {{"ID", 14, 24}, {"Longitude", 40, 74}, {"Latitude", 118, 74}, {"Radius", 196, 44},
                   {"Check Interval (Minutes)", 244, 52, 18}, {"Type", 298, 66}});
  t.Headings(474, {{"xxx.xxxxxx", 40, 74}, {"xx.xxxxxx", 118, 74}, {"meter", 196, 44}});
  t.Label("minute", {244, 484, 50, 10});
  for (int n = 0; n < 4; ++n) {
    const int y = 496 + 16 * n;
    const std::string row = std::to_string(n + 1);
    t.Add(FenceBox[n], CtlKind::CheckBox, row, {14, y + 2, 24, 10});
    t.Add(Longitude[n], CtlKind::Edit, "", {40, y, 74, 13}, "Longitude " + row);
    t.Add(Latitude[n], CtlKind::Edit, "", {118, y, 74, 13}, "Latitude " + row);
    t.Add(Radius[n], CtlKind::Edit, "", {196, y, 44, 13}, "Radius " + row);
    t.Add(CheckInterval[n], CtlKind::Edit, "", {244, y, 50, 13}, "Check Interval (Minutes) " + row);
    t.Add(FenceType[n], CtlKind::Combo, "", {298, y, 68, 13}, "Type " + row,
          {"1: In", "2: Out", "3: In & Out"});
  }
  for (int n = 0; n < 4; ++n) {
    const std::string label = "ID " + std::to_string(n + 1) + ":";
    t.Label(label, {14, 563 + 13 * n, 24, 10}, FencePreview[n]);
    t.Add(FencePreview[n], CtlKind::Preview, "", {40, 561 + 13 * n, 273, 12}, label);
  }
  t.Add(GeoSend, CtlKind::Button, "Send", {319, 599, 47, 15}, "Send");

  // Real-time operation
  t.Group(4);
  t.Enable(RtoEnable, 653);
  t.LabeledCombo(RtoOption, "Command Option:", {14, 673, 60, 10}, {76, 671, 290, 13}, RtoOptionItems());
  t.PreviewAndSend(RtoPreview, RtoSend, 708);

  // Special functions
  t.Group(5);
  t.Enable(BacEnable, 758);
  t.Read(BacRead, 756);
  t.Add(OverSpeedAlarm, CtlKind::CheckBox, "Over Speed Alarm", {14, 778, 90, 10});
  t.LabeledEdit(SpeedLimited, "Speed Limited (km/h):", {120, 778, 86, 10}, {208, 776, 30, 13});
  t.Add(InfoReportFlag, CtlKind::CheckBox, "Info Report Flag", {14, 796, 90, 10});
  t.LabeledEdit(InfoReportPeriod, "Info Report Period (Minutes):", {120, 796, 100, 10}, {222, 794, 30, 13});
  const char* runCaptions[8] = {"Fake Power Off", "Fake Ghost", "Timing Report", "Geo-Fencing",
                                "Lost Trace",     "Sound",      "On/Off Alert",  "Power Low Alert"};
  for (int i = 0; i < 8; ++i)
    t.Add(BacAlarmFlag[i], CtlKind::CheckBox, runCaptions[i],
          {14 + 90 * (i % 4), 816 + 16 * (i / 4), 86, 10});
  t.Add(MovDetMode, CtlKind::CheckBox, "Movement Detection Mode", {14, 852, 110, 10});
  t.LabeledEdit(SendNum, "Movement Send Number:", {194, 852, 86, 10}, {282, 850, 20, 13});
  t.LabeledEdit(MovSpeed, "Movement Speed (km/h):", {14, 870, 86, 10}, {102, 868, 30, 13});
  t.LabeledEdit(MovDistance, "Movement Distance (m):", {194, 870, 86, 10}, {282, 868, 30, 13});
  t.PreviewAndSend(BacPreview, BacSend, 912);

  // Keypad
  t.Group(6);
  t.Read(KpnRead, 955);
  t.Headings(975, {{"Keypad", 14, 34}, {"Phone Number", 50, 106}, {"Phone Name", 160, 86},
                   {"KPN Enable", 250, 52}, {"Auto Answer", 306, 60}});
  const char* rows[5] = {"SOS", "1", "2", "3", "4"};
  for (int k = 0; k < 5; ++k) {
    const int y = 988 + 16 * k;
    const std::string row = rows[k];
    t.Add(KeyBox[k], CtlKind::CheckBox, row, {14, y + 2, 34, 10});
    t.Add(PhoneNumber[k], CtlKind::Edit, "", {50, y, 106, 13}, "Phone Number " + row);
    t.Add(PhoneName[k], CtlKind::Edit, "", {160, y, 86, 13}, "Phone Name " + row);
    if (KpnEnable[k] > 0)
      t.Add(KpnEnable[k], CtlKind::Combo, "", {250, y, 52, 13}, "KPN Enable " + row, {"Disable", "Enable"});
    if (AutoAnswer[k] > 0)
      t.Add(AutoAnswer[k], CtlKind::Combo, "", {306, y, 52, 13}, "Auto Answer " + row, {"No", "Yes"});
  }
  for (int k = 0; k < 5; ++k) {
    const std::string label = std::string(rows[k]) + " Key:";
    t.Label(label, {14, 1072 + 15 * k, 36, 10}, KeyPreview[k]);
    t.Add(KeyPreview[k], CtlKind::Preview, "", {52, 1070 + 15 * k, 261, 13}, label);
  }
  t.Add(ClipboardArea, CtlKind::RichText, "", {14, 1150, 40, 10}, "Clipboard Area");
  t.Add(KpnSend, CtlKind::Button, "Send", {319, 1129, 47, 15}, "Send");

  // White call list
  t.Group(7);
  t.Enable(WltEnable, 1199);
  t.Read(WltRead, 1197);
  t.LabeledCombo(CallFilter, "Call Filter:", {14, 1219, 60, 10}, {76, 1217, 290, 13},
                 {"0: Do not filter the incoming call", "1: Filter the incoming call"});
  t.LabeledCombo(MobileStart, "Mobile Start:", {14, 1237, 60, 10}, {76, 1235, 50, 13}, NumberItems());
  t.LabeledCombo(MobileEnd, "Mobile End:", {140, 1237, 50, 10}, {192, 1235, 50, 13}, NumberItems());
  t.LabeledCombo(GglMode, "GGL Mode:", {14, 1255, 60, 10}, {76, 1253, 290, 13},
                 {"0: Do not return an SMS with google map hyperlink",
                  "1: Terminal will return a SMS with google map hyperlink"});
  t.Frame("White Number List", {14, 1273, 352, 98});
  for (int p = 0; p < 10; ++p) {
    const int x = p < 5 ? 24 : 196;
    const int y = 1287 + 16 * (p % 5);
    t.LabeledEdit(WhiteNumber[p], std::to_string(p + 1) + ":", {x, y + 2, 14, 10}, {x + 16, y, 140, 13});
  }
  t.PreviewAndSend(WltPreview, WltSend, 1426);

  // SIM PIN
  t.Group(8);
  t.Enable(PinEnable, 1475);
  t.Read(PinRead, 1473);
  t.LabeledCombo(AutoUnlock, "Auto Unlock PIN:", {14, 1495, 64, 10}, {80, 1493, 200, 13},
                 {"0: Do not unlock SIM-PIN automatically", "1: Unlock SIM-PIN automatically"});
  t.LabeledCombo(PinCheck, "PIN Checking:", {14, 1513, 64, 10}, {80, 1511, 200, 13},
                 {"0: Do not lock the SIM-PIN", "1: Lock the SIM-PIN"});
  t.LabeledEdit(Pin, "PIN:", {14, 1531, 64, 10}, {80, 1529, 60, 13});
  t.PreviewAndSend(PinPreview, PinSend, 1558);
  return c;
}

std::map<std::pair<int, int>, std::vector<int>> MakeRules() {
  std::map<std::pair<int, int>, std::vector<int>> r;
  for (const GroupInfo& info : AllGroups()) {
    // A group whose rows switch themselves has its Send button enabled by the rows' boxes.
    const bool rows = info.enableBox < 0;
    const int g = static_cast<int>(info.group);
    if (!rows) r[{g, 0}].push_back(info.sendButton);
    // Every field a config file holds, but the boxes that switch the rows.
    for (const FormField& f : FormFields()) {
      if (f.group != info.group || f.key.empty() || f.rowBox) continue;
      std::vector<int>& ids = r[{g, rows ? f.row : 0}];
      const int buttons = f.kind == ValueKind::Radio ? f.listSize : 1;  // a radio group's ids run on
      for (int i = 0; i < buttons; ++i) ids.push_back(f.id + i);
    }
  }
  return r;
}

}  // namespace

const std::vector<std::string>& RtoOptionItems() {
  static const std::vector<std::string> items = {
      "1: Require the terminal to report the current position immediately ",
      "2: Get the current configuration of the terminal.",
      "3: Reboot the terminal.",
      "4: Reset all parameters to factory setting.",
      "5: Get the ICCID of the SIM card which is being used by the terminal.",
      "6: Get the current GSM signal level of the terminal.",
      "7: Get the software version.",
      "8: Get the hardware version.",
      "A: Get the configuration of keypad settings.",
      "B: Power off the terminal."};
  return items;
}

const std::vector<GroupBoxEntry>& GroupBoxes() {
  static const std::vector<GroupBoxEntry> boxes = {
      {Group::Sri, "RVSRI: For GPRS Setting and Main Server Register", 25, 203},
      {Group::Bei, "RVBEI: For Secondary Server Register", 243, 72},
      {Group::Tri, "RVTRI: For Scheduled Timing Report", 330, 92},
      {Group::Geo, "RVGEO: For Geofence Setting", 438, 187},
      {Group::Rto, "RVRTO: For Real Time Operation", 642, 89},
      {Group::Bac, "RVBAC: Enable or Disable Some Special Functions", 747, 185},
      {Group::Kpn, "RVKPN: Keypad Settings", 947, 225},
      {Group::Wlt, "RVWLT: White Call List Table", 1188, 260},
      {Group::Pin, "RVPIN: Auto unlock SIM-PIN", 1464, 116},
  };
  return boxes;
}

const std::vector<ControlEntry>& FormControls() {
  static const std::vector<ControlEntry> controls = MakeControls();
  return controls;
}

const ControlEntry* FindControl(int id) {
  for (const ControlEntry& entry : FormControls())
    if (entry.id == id) return &entry;
  return nullptr;
}

const std::vector<int>& GroupRuleControls(Group group, int row) {
  static const auto rules = MakeRules();
  static const std::vector<int> none;
  const auto found = rules.find({static_cast<int>(group), row});
  return found == rules.end() ? none : found->second;
}

}  // namespace kestrun
