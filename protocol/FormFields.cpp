#include "protocol/FormFields.h"

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
  FieldBuilder& Key(std::string section, std::string key) {
    f_.section = std::move(section);
    f_.key = std::move(key);
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
  add(ReportMode, Group::Sri, K::Radio).Key("RVSRI", "RepMode");
  add(SriIp, Group::Sri, K::Address).Key("RVSRI", "IP");
  add(SriPort, Group::Sri, K::Text)
      .Limit(5)
      .Cap("Error, Server Port > 5 Byte")
      .Key("RVSRI", "ServerPort")
      .Rule(ValueRule::Port, "Server Port")
      .Record(Place(&M::sri, &CSriCommand::serverPort));
  add(SmsGateway, Group::Sri, K::Text)
      .Limit(20)
      .Cap("Error, SMS Gateway > 20 Byte")
      .Key("RVSRI", "SmsGateway")
      .Rule(ValueRule::Phone, "Main SMS Gateway")
      .Record(Place(&M::sri, &CSriCommand::smsGateway));
  add(Apn, Group::Sri, K::Text)
      .Limit(40)
      .Cap("Error, APN > 40 Byte")
      .Key("RVSRI", "APN")
      .Rule(ValueRule::Text, "APN")
      .Record(Place(&M::sri, &CSriCommand::apn));
  add(ApnUser, Group::Sri, K::Text)
      .Limit(20)
      .Cap("Error, User Name > 20 Byte")
      .Key("RVSRI", "GprsUser")
      .Rule(ValueRule::Text, "APN User Name")
      .Record(Place(&M::sri, &CSriCommand::apnUser));
  add(ApnPassword, Group::Sri, K::Text)
      .Limit(20)
      .Cap("Error, User Password > 20 Byte")
      .Key("RVSRI", "Password")
      .Rule(ValueRule::Text, "APN User Password")
      .Record(Place(&M::sri, &CSriCommand::apnPassword));
  add(SriPreview, Group::Sri, K::Preview);

  // Secondary server
  add(BeiEnable, Group::Bei, K::Flag);
  add(PositionDelay, Group::Bei, K::Text)
      .Limit(3)
      .Range("Position Delay", "7", "900", true)
      .Key("RVBEI", "PosiDelay")
      .Rule(ValueRule::Digits, "Position Delay")
      .Record(Place(&M::bei, &CBeiCommand::positionDelay));
  add(BeiIp, Group::Bei, K::Address).Key("RVBEI", "IP");
  add(BeiPort, Group::Bei, K::Text)
      .Limit(5)
      .Cap("Error, Server Port > 5 Byte", CapCut::RecordCopy)
      .Key("RVBEI", "ServerPort")
      .Rule(ValueRule::Port, "Secondary Server Port")
      .Record(Place(&M::bei, &CBeiCommand::serverPort));
  add(BeiPreview, Group::Bei, K::Preview);

  // Timing report
  add(TriEnable, Group::Tri, K::Flag);
  add(BeginTime, Group::Tri, K::Text)
      .Limit(4)
      .Cap("Error, Begin Time > 4 Byte")
      .Range("Begin Time", "0000", "2359", false)
      .Key("RVTRI", "StartTime")
      .Rule(ValueRule::Time, "Begin Time")
      .Record(Place(&M::tri, &CTriCommand::beginTime));
  add(EndTime, Group::Tri, K::Text)
      .Limit(4)
      .Cap("Error, End Time > 4 Byte")
      .Range("End Time", "0000", "2359", false)
      .Key("RVTRI", "EndTime")
      .Rule(ValueRule::Time, "End Time")
      .Record(Place(&M::tri, &CTriCommand::endTime));
  add(SendInterval, Group::Tri, K::Text)
      .Limit(4)
      .Cap("Error, Send Interval > 4 Byte")
      .Range("Send Interval", "0", "1440", false)
      .Key("RVTRI", "SendInterval")
      .Rule(ValueRule::Digits, "Send Interval")
      .Record(Place(&M::tri, &CTriCommand::sendInterval));
  add(FixInterval, Group::Tri, K::Text)
      .Limit(5)
      .Cap("Error, Fix Interval > 5 Byte")
      .Range("Fix Interval", "0", "86400", false)
      .Key("RVTRI", "FizInterval")
      .Rule(ValueRule::Digits, "Fix Interval")
      .Record(Place(&M::tri, &CTriCommand::fixInterval));
  add(TriPreview, Group::Tri, K::Preview);

  // Geofences: the caps cut the record's copies; the check interval's message
  // differs between the form side and the reply side.
  for (int n = 0; n < 4; ++n) {
    add(FenceBox[n], Group::Geo, K::Flag).Key("RVGEO", "ID_" + n1[n]);
    add(Longitude[n], Group::Geo, K::Text)
        .Limit(20)
        .Cap("Error, Longitude > 20 Byte", CapCut::RecordCopy)
        .Key("RVGEO", "Longitude" + n1[n])
        .Rule(ValueRule::Longitude, "Longitude " + n1[n])
        .Row(n)
        .Record(Place(&M::geo, &CGeoCommand::longitude, n));
    add(Latitude[n], Group::Geo, K::Text)
        .Limit(20)
        .Cap("Error, Latitude > 20 Byte", CapCut::RecordCopy)
        .Key("RVGEO", "Latitude" + n1[n])
        .Rule(ValueRule::Latitude, "Latitude " + n1[n])
        .Row(n)
        .Record(Place(&M::geo, &CGeoCommand::latitude, n));
    add(Radius[n], Group::Geo, K::Text)
        .Limit(10)
        .Cap("Error, Radius > 10 Byte", CapCut::RecordCopy)
        .Key("RVGEO", "Radius" + n1[n])
        .Rule(ValueRule::Digits, "Radius " + n1[n])
        .Row(n)
        .Record(Place(&M::geo, &CGeoCommand::radius, n));
    add(CheckInterval[n], Group::Geo, K::Text)
        .Limit(2)
        .Cap("Error, Check Interval <= 2 Byte", CapCut::RecordCopy, "Error, Check Interval > 2 Byte")
        .Key("RVGEO", "CekInv" + n1[n])
        .Rule(ValueRule::Digits, "Check Interval " + n1[n])
        .Row(n)
        .Record(Place(&M::geo, &CGeoCommand::checkInterval, n));
    add(FenceType[n], Group::Geo, K::Index).Key("RVGEO", "Type" + n1[n]);
  }
  for (int n = 0; n < 4; ++n) add(FencePreview[n], Group::Geo, K::Preview);

  // Real-time operation
  add(RtoEnable, Group::Rto, K::Flag);
  add(RtoOption, Group::Rto, K::Index).Key("RVRTO", "CmdOptionIdx");
  add(RtoPreview, Group::Rto, K::Preview);

  // Special functions
  const char* alarmKeys[8] = {"FPO",       "FakeGhost", "TimingReport", "GeoFencing",
                              "LostTrace", "Sound",     "OnOffAlert",   "PowerLowAlert"};
  add(BacEnable, Group::Bac, K::Flag);
  add(OverSpeedAlarm, Group::Bac, K::Flag).Key("RVBAC", "OSA");
  add(SpeedLimited, Group::Bac, K::Text)
      .Limit(3)
      .Key("RVBAC", "SpeedLimited")
      .Rule(ValueRule::Digits, "Speed Limited")
      .Record(Place(&M::bac, &CBacCommand::speedLimited));
  add(InfoReportFlag, Group::Bac, K::Flag).Key("RVBAC", "InfoReportFlag");
  add(InfoReportPeriod, Group::Bac, K::Text)
      .Limit(4)
      .Range("Info Report Period", "1", "1440", true)
      .Key("RVBAC", "InfoReportPeriod")
      .Rule(ValueRule::Digits, "Info Report Period")
      .Record(Place(&M::bac, &CBacCommand::infoReportPeriod));
  for (int i = 0; i < 8; ++i) add(BacAlarmFlag[i], Group::Bac, K::Flag).Key("RVBAC", alarmKeys[i]);
  add(MovDetMode, Group::Bac, K::Flag).Key("RVBAC", "MovDetMode");
  add(SendNum, Group::Bac, K::Text)
      .Limit(1)
      .Range("Movement Send Number", "1", "5", true)
      .Key("RVBAC", "SendNum")
      .Rule(ValueRule::Digits, "Movement Send Number")
      .Record(Place(&M::bac, &CBacCommand::sendNum));
  add(MovSpeed, Group::Bac, K::Text)
      .Limit(3)
      .Key("RVBAC", "MovSpeed")
      .Rule(ValueRule::Digits, "Movement Speed")
      .Record(Place(&M::bac, &CBacCommand::movSpeed));
  add(MovDistance, Group::Bac, K::Text)
      .Limit(4)
      .Key("RVBAC", "MovDistance")
      .Rule(ValueRule::Digits, "Movement Distance")
      .Record(Place(&M::bac, &CBacCommand::movDistance));
  add(BacPreview, Group::Bac, K::Preview);

  // Keypad: key 0 is SOS
  for (int k = 0; k < 5; ++k) {
    const std::string key = std::to_string(k);
    const std::string row = k ? key : "SOS";  // how the form names the row
    add(KeyBox[k], Group::Kpn, K::Flag).Key("RVKPN", "Key" + key);
    add(PhoneNumber[k], Group::Kpn, K::Text)
        .Limit(30)
        .Key("RVKPN", "PhoneNum" + key)
        .Rule(ValueRule::Phone, "Phone Number " + row)
        .Row(k)
        .Record(Place(&M::kpn, &CKpnCommand::phoneNumber, k));
    add(PhoneName[k], Group::Kpn, K::Text)
        .Limit(20)
        .Key("RVKPN", "PhoneName" + key)
        .Rule(ValueRule::Text, "Phone Name " + row)
        .Row(k)
        .Record(Place(&M::kpn, &CKpnCommand::phoneName, k));
    if (KpnEnable[k] > 0) add(KpnEnable[k], Group::Kpn, K::Index).Key("RVKPN", "KpnEnable" + key);
    if (AutoAnswer[k] > 0) add(AutoAnswer[k], Group::Kpn, K::Index).Key("RVKPN", "AutoAnswer" + key);
  }
  for (int k = 0; k < 5; ++k) add(KeyPreview[k], Group::Kpn, K::Preview);

  // White call list
  add(WltEnable, Group::Wlt, K::Flag);
  add(CallFilter, Group::Wlt, K::Index).Key("RVWLT", "CallFilter");
  add(MobileStart, Group::Wlt, K::Index).Key("RVWLT", "MobileStart");
  add(MobileEnd, Group::Wlt, K::Index).Key("RVWLT", "MobileEnd");
  add(GglMode, Group::Wlt, K::Index).Key("RVWLT", "Ggl_Mode");
  for (int p = 0; p < 10; ++p)
    add(WhiteNumber[p], Group::Wlt, K::Text)
        .Limit(20)
        .DigitsOnly()
        .Key("RVWLT", "Numb" + std::to_string(p + 1))
        .Rule(ValueRule::Digits, "White Number " + std::to_string(p + 1))
        .Row(p)
        .Record(Place(&M::wlt, &CWltCommand::numbers, p));
  add(WltPreview, Group::Wlt, K::Preview);

  // SIM PIN
  add(PinEnable, Group::Pin, K::Flag);
  add(AutoUnlock, Group::Pin, K::Index).Key("RVPIN", "AutoUnlockPin");
  add(PinCheck, Group::Pin, K::Index).Key("RVPIN", "PinCheck");
  add(Pin, Group::Pin, K::Text)
      .Limit(8)
      .Key("RVPIN", "PIN")
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

}  // namespace kestrun
