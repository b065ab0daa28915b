#include "protocol/FormFields.h"

#include <algorithm>
#include <tuple>

#include "protocol/ControlIds.h"
#include "protocol/FormModel.h"

namespace kestrun {

namespace {

using RecordText = std::function<std::string&(CFormModel&)>;

// The text `field` of the model's record `record`, or element `index` of a
// record's array of texts.
template <typename Record>
RecordText Place(Record CFormModel::*record, std::string Record::*field) {
  return [record, field](CFormModel& model) -> std::string& { return (model.*record).*field; };
}
template <typename Record, std::size_t N>
RecordText Place(Record CFormModel::*record, std::array<std::string, N> Record::*field, int index) {
  return
      [record, field, index](CFormModel& model) -> std::string& { return ((model.*record).*field)[index]; };
}

// Adds one row and fills it in, a property per call.
class FieldBuilder {
 public:
  explicit FieldBuilder(FormField& field) : f_(field) {}
  FieldBuilder& Limit(int bytes) {
    f_.limit = bytes;
    return *this;
  }
  FieldBuilder& Rule(ValueRule rule, std::string name) {
    f_.rule = rule;
    f_.name = std::move(name);
    return *this;
  }
  FieldBuilder& Row(int row) {
    f_.row = row;
    return *this;
  }
  // The box that switches row `row` of a fence or key on and off.
  FieldBuilder& RowBox(int row) {
    f_.row = row;
    f_.rowBox = true;
    return *this;
  }
  FieldBuilder& Items(int count) {
    f_.listSize = count;
    return *this;
  }
  FieldBuilder& DigitsOnly() {
    f_.digitsOnly = true;
    return *this;
  }
  // Over-long text is cut to the input limit with `message`.
  FieldBuilder& Cap(const char* message, CapCut cut = CapCut::FormValue, const char* replyMessage = nullptr) {
    f_.capMessage = message;
    f_.capCut = cut;
    f_.replyCapMessage = replyMessage;
    return *this;
  }
  FieldBuilder& Range(const char* label, const char* low, const char* high, bool onlyIfNotEmpty) {
    f_.range = {label, low, high, onlyIfNotEmpty};
    return *this;
  }
  FieldBuilder& Key(std::string section, std::string key, int filePos) {
    f_.section = std::move(section);
    f_.key = std::move(key);
    f_.filePos = filePos;
    return *this;
  }
  FieldBuilder& Record(RecordText place) {
    f_.recordText = std::move(place);
    return *this;
  }

 private:
  FormField& f_;
};

std::vector<FormField> MakeFields() {
  using namespace ctl;
  using K = ValueKind;
  using M = CFormModel;
  std::vector<FormField> rows;
  auto add = [&](int id, Group group, K kind) {
    FormField& row = rows.emplace_back();
    row.id = id;
    row.group = group;
    row.kind = kind;
    return FieldBuilder(row);
  };
  const std::string n1[] = {"1", "2", "3", "4"};  // fence numbers in keys

  // Server registration
  add(SriEnable, Group::Sri, K::Flag);
  add(ReportMode, Group::Sri, K::Radio).Items(4).Key("RVSRI", "RepMode", 0);
  add(SriIp, Group::Sri, K::Address).Key("RVSRI", "IP", 6);
  add(SriPort, Group::Sri, K::Text)
      .Limit(5)
      .Cap("Error, Server Port > 5 Byte")
      .Key("RVSRI", "ServerPort", 4)
      .Rule(ValueRule::Port, "Server Port")
      .Record(Place(&M::sri, &CSriCommand::serverPort));
  add(SmsGateway, Group::Sri, K::Text)
      .Limit(20)
      .Cap("Error, SMS Gateway > 20 Byte")
      .Key("RVSRI", "SmsGateway", 5)
      .Rule(ValueRule::Phone, "Main SMS Gateway")
      .Record(Place(&M::sri, &CSriCommand::smsGateway));
  add(Apn, Group::Sri, K::Text)
      .Limit(40)
      .Cap("Error, APN > 40 Byte")
      .Key("RVSRI", "APN", 1)
      .Rule(ValueRule::Text, "APN")
      .Record(Place(&M::sri, &CSriCommand::apn));
  add(ApnUser, Group::Sri, K::Text)
      .Limit(20)
      .Cap("Error, User Name > 20 Byte")
      .Key("RVSRI", "GprsUser", 2)
      .Rule(ValueRule::Text, "APN User Name")
      .Record(Place(&M::sri, &CSriCommand::apnUser));
  add(ApnPassword, Group::Sri, K::Text)
      .Limit(20)
      .Cap("Error, User Password > 20 Byte")
      .Key("RVSRI", "Password", 3)
      .Rule(ValueRule::Text, "APN User Password")
      .Record(Place(&M::sri, &CSriCommand::apnPassword));
  add(SriPreview, Group::Sri, K::Preview);

  // Secondary server
  add(BeiEnable, Group::Bei, K::Flag);
  add(PositionDelay, Group::Bei, K::Text)
      .Limit(3)
      .Range("Position Delay", "7", "900", true)
      .Key("RVBEI", "PosiDelay", 2)
      .Rule(ValueRule::Digits, "Position Delay")
      .Record(Place(&M::bei, &CBeiCommand::positionDelay));
  add(BeiIp, Group::Bei, K::Address).Key("RVBEI", "IP", 1);
  add(BeiPort, Group::Bei, K::Text)
      .Limit(5)
      .Cap("Error, Server Port > 5 Byte", CapCut::RecordCopy)
      .Key("RVBEI", "ServerPort", 0)
      .Rule(ValueRule::Port, "Secondary Server Port")
      .Record(Place(&M::bei, &CBeiCommand::serverPort));
  add(BeiPreview, Group::Bei, K::Preview);

  // Timing report
  add(TriEnable, Group::Tri, K::Flag);
  add(BeginTime, Group::Tri, K::Text)
      .Limit(4)
      .Cap("Error, Begin Time > 4 Byte")
      .Range("Begin Time", "0000", "2359", false)
      .Key("RVTRI", "StartTime", 0)
      .Rule(ValueRule::Time, "Begin Time")
      .Record(Place(&M::tri, &CTriCommand::beginTime));
  add(EndTime, Group::Tri, K::Text)
      .Limit(4)
      .Cap("Error, End Time > 4 Byte")
      .Range("End Time", "0000", "2359", false)
      .Key("RVTRI", "EndTime", 1)
      .Rule(ValueRule::Time, "End Time")
      .Record(Place(&M::tri, &CTriCommand::endTime));
  add(SendInterval, Group::Tri, K::Text)
      .Limit(4)
      .Cap("Error, Send Interval > 4 Byte")
      .Range("Send Interval", "0", "1440", false)
      .Key("RVTRI", "SendInterval", 2)
      .Rule(ValueRule::Digits, "Send Interval")
      .Record(Place(&M::tri, &CTriCommand::sendInterval));
  add(FixInterval, Group::Tri, K::Text)
      .Limit(5)
      .Cap("Error, Fix Interval > 5 Byte")
      .Range("Fix Interval", "0", "86400", false)
      .Key("RVTRI", "FizInterval", 3)
      .Rule(ValueRule::Digits, "Fix Interval")
      .Record(Place(&M::tri, &CTriCommand::fixInterval));
  add(TriPreview, Group::Tri, K::Preview);

  // Geofences: the caps cut the record's copies; the check interval's message
  // differs between the form side and the reply side.
  for (int n = 0; n < 4; ++n) {
    add(FenceBox[n], Group::Geo, K::Flag).RowBox(n).Key("RVGEO", "ID_" + n1[n], 0);
    add(Longitude[n], Group::Geo, K::Text)
        .Limit(20)
        .Cap("Error, Longitude > 20 Byte", CapCut::RecordCopy)
        .Key("RVGEO", "Longitude" + n1[n], 1)
        .Rule(ValueRule::Longitude, "Longitude " + n1[n])
        .Row(n)
        .Record(Place(&M::geo, &CGeoCommand::longitude, n));
    add(Latitude[n], Group::Geo, K::Text)
        .Limit(20)
        .Cap("Error, Latitude > 20 Byte", CapCut::RecordCopy)
        .Key("RVGEO", "Latitude" + n1[n], 2)
        .Rule(ValueRule::Latitude, "Latitude " + n1[n])
        .Row(n)
        .Record(Place(&M::geo, &CGeoCommand::latitude, n));
    add(Radius[n], Group::Geo, K::Text)
        .Limit(10)
        .Cap("Error, Radius > 10 Byte", CapCut::RecordCopy)
        .Key("RVGEO", "Radius" + n1[n], 3)
        .Rule(ValueRule::Digits, "Radius " + n1[n])
        .Row(n)
        .Record(Place(&M::geo, &CGeoCommand::radius, n));
    add(CheckInterval[n], Group::Geo, K::Text)
        .Limit(2)
        .Cap("Error, Check Interval <= 2 Byte", CapCut::RecordCopy, "Error, Check Interval > 2 Byte")
        .Key("RVGEO", "CekInv" + n1[n], 4)
        .Rule(ValueRule::Digits, "Check Interval " + n1[n])
        .Row(n)
        .Record(Place(&M::geo, &CGeoCommand::checkInterval, n));
    add(FenceType[n], Group::Geo, K::Index).Row(n).Items(3).Key("RVGEO", "Type" + n1[n], 5);
  }
  for (int n = 0; n < 4; ++n) add(FencePreview[n], Group::Geo, K::Preview);

  // Real-time operation
  add(RtoEnable, Group::Rto, K::Flag);
  add(RtoOption, Group::Rto, K::Index).Items(10).Key("RVRTO", "CmdOptionIdx", 0);
  add(RtoPreview, Group::Rto, K::Preview);

  // Special functions
  const char* alarmKeys[8] = {"FPO",       "FakeGhost", "TimingReport", "GeoFencing",
                              "LostTrace", "Sound",     "OnOffAlert",   "PowerLowAlert"};
  add(BacEnable, Group::Bac, K::Flag);
  add(OverSpeedAlarm, Group::Bac, K::Flag).Key("RVBAC", "OSA", 0);
  add(SpeedLimited, Group::Bac, K::Text)
      .Limit(3)
      .Key("RVBAC", "SpeedLimited", 1)
      .Rule(ValueRule::Digits, "Speed Limited")
      .Record(Place(&M::bac, &CBacCommand::speedLimited));
  add(InfoReportFlag, Group::Bac, K::Flag).Key("RVBAC", "InfoReportFlag", 10);
  add(InfoReportPeriod, Group::Bac, K::Text)
      .Limit(4)
      .Range("Info Report Period", "1", "1440", true)
      .Key("RVBAC", "InfoReportPeriod", 11)
      .Rule(ValueRule::Digits, "Info Report Period")
      .Record(Place(&M::bac, &CBacCommand::infoReportPeriod));
  for (int i = 0; i < 8; ++i) add(BacAlarmFlag[i], Group::Bac, K::Flag).Key("RVBAC", alarmKeys[i], 2 + i);
  add(MovDetMode, Group::Bac, K::Flag).Key("RVBAC", "MovDetMode", 12);
  add(SendNum, Group::Bac, K::Text)
      .Limit(1)
      .Range("Movement Send Number", "1", "5", true)
      .Key("RVBAC", "SendNum", 15)
      .Rule(ValueRule::Digits, "Movement Send Number")
      .Record(Place(&M::bac, &CBacCommand::sendNum));
  add(MovSpeed, Group::Bac, K::Text)
      .Limit(3)
      .Key("RVBAC", "MovSpeed", 13)
      .Rule(ValueRule::Digits, "Movement Speed")
      .Record(Place(&M::bac, &CBacCommand::movSpeed));
  add(MovDistance, Group::Bac, K::Text)
      .Limit(4)
      .Key("RVBAC", "MovDistance", 14)
      .Rule(ValueRule::Digits, "Movement Distance")
      .Record(Place(&M::bac, &CBacCommand::movDistance));
  add(BacPreview, Group::Bac, K::Preview);

  // Keypad: key 0 is SOS
  for (int k = 0; k < 5; ++k) {
    const std::string key = std::to_string(k);
    const std::string row = k ? key : "SOS";  // how the form names the row
    add(KeyBox[k], Group::Kpn, K::Flag).RowBox(k).Key("RVKPN", "Key" + key, 0);
    add(PhoneNumber[k], Group::Kpn, K::Text)
        .Limit(30)
        .Key("RVKPN", "PhoneNum" + key, 1)
        .Rule(ValueRule::Phone, "Phone Number " + row)
        .Row(k)
        .Record(Place(&M::kpn, &CKpnCommand::phoneNumber, k));
    add(PhoneName[k], Group::Kpn, K::Text)
        .Limit(20)
        .Key("RVKPN", "PhoneName" + key, 2)
        .Rule(ValueRule::Text, "Phone Name " + row)
        .Row(k)
        .Record(Place(&M::kpn, &CKpnCommand::phoneName, k));
    if (KpnEnable[k] > 0)
      add(KpnEnable[k], Group::Kpn, K::Index).Row(k).Items(2).Key("RVKPN", "KpnEnable" + key, 3);
    if (AutoAnswer[k] > 0)
      add(AutoAnswer[k], Group::Kpn, K::Index).Row(k).Items(2).Key("RVKPN", "AutoAnswer" + key, 4);
  }
  for (int k = 0; k < 5; ++k) add(KeyPreview[k], Group::Kpn, K::Preview);

  // White call list
  add(WltEnable, Group::Wlt, K::Flag);
  add(CallFilter, Group::Wlt, K::Index).Items(2).Key("RVWLT", "CallFilter", 0);
  add(MobileStart, Group::Wlt, K::Index).Items(10).Key("RVWLT", "MobileStart", 1);
  add(MobileEnd, Group::Wlt, K::Index).Items(10).Key("RVWLT", "MobileEnd", 2);
  add(GglMode, Group::Wlt, K::Index).Items(2).Key("RVWLT", "Ggl_Mode", 3);
  for (int p = 0; p < 10; ++p)
    add(WhiteNumber[p], Group::Wlt, K::Text)
        .Limit(20)
        .DigitsOnly()
        .Key("RVWLT", "Numb" + std::to_string(p + 1), 4)
        .Rule(ValueRule::Digits, "White Number " + std::to_string(p + 1))
        .Row(p)
        .Record(Place(&M::wlt, &CWltCommand::numbers, p));
  add(WltPreview, Group::Wlt, K::Preview);

  // SIM PIN
  add(PinEnable, Group::Pin, K::Flag);
  add(AutoUnlock, Group::Pin, K::Index).Items(2).Key("RVPIN", "AutoUnlockPin", 0);
  add(PinCheck, Group::Pin, K::Index).Items(2).Key("RVPIN", "PinCheck", 1);
  add(Pin, Group::Pin, K::Text)
      .Limit(8)
      .Key("RVPIN", "PIN", 2)
      .Rule(ValueRule::Pin, "PIN")
      .Record(Place(&M::pin, &CPinCommand::pin));
  add(PinPreview, Group::Pin, K::Preview);
  return rows;
}

}  // namespace

const std::vector<FormField>& FormFields() {
  static const std::vector<FormField> fields = MakeFields();
  return fields;
}

const FormField* FindFormField(int id) {
  for (const FormField& field : FormFields())
    if (field.id == id) return &field;
  return nullptr;
}

const std::vector<const FormField*>& FileOrder() {
  static const std::vector<const FormField*> order = [] {
    const std::vector<Group>& sections = SendOrder();
    auto place = [&](const FormField* f) {
      const auto section = std::find(sections.begin(), sections.end(), f->group) - sections.begin();
      return std::make_tuple(section, f->filePos, f->row);
    };
    std::vector<const FormField*> fields;
    for (const FormField& f : FormFields())
      if (!f.key.empty()) fields.push_back(&f);
    std::stable_sort(fields.begin(), fields.end(),
                     [&](const FormField* a, const FormField* b) { return place(a) < place(b); });
    return fields;
  }();
  return order;
}

}  // namespace kestrun
