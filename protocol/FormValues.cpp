#include "protocol/FormValues.h"

#include "protocol/ControlIds.h"

namespace kestrun {

namespace {

std::vector<Binding> MakeBindings() {
  using namespace ctl;
  using K = ValueKind;
  std::vector<Binding> b;
  auto add = [&](int id, K kind, Group g, int limit = 0, bool digits = false) {
    b.push_back({id, kind, limit, g, digits});
  };
  add(SriEnable, K::Flag, Group::Sri);
  add(ReportMode, K::Radio, Group::Sri);
  add(SriIp, K::Address, Group::Sri);
  add(SriPort, K::Text, Group::Sri, 5);
  add(SmsGateway, K::Text, Group::Sri, 20);
  add(Apn, K::Text, Group::Sri, 40);
  add(ApnUser, K::Text, Group::Sri, 20);
  add(ApnPassword, K::Text, Group::Sri, 20);
  add(SriPreview, K::Preview, Group::Sri);

  add(BeiEnable, K::Flag, Group::Bei);
  add(PositionDelay, K::Text, Group::Bei, 3);
  add(BeiIp, K::Address, Group::Bei);
  add(BeiPort, K::Text, Group::Bei, 5);
  add(BeiPreview, K::Preview, Group::Bei);

  add(TriEnable, K::Flag, Group::Tri);
  add(BeginTime, K::Text, Group::Tri, 4);
  add(EndTime, K::Text, Group::Tri, 4);
  add(SendInterval, K::Text, Group::Tri, 4);
  add(FixInterval, K::Text, Group::Tri, 5);
  add(TriPreview, K::Preview, Group::Tri);

  for (int n = 0; n < 4; ++n) {
    add(FenceBox[n], K::Flag, Group::Geo);
    add(Longitude[n], K::Text, Group::Geo, 20);
    add(Latitude[n], K::Text, Group::Geo, 20);
    add(Radius[n], K::Text, Group::Geo, 10);
    add(CheckInterval[n], K::Text, Group::Geo, 2);
    add(FenceType[n], K::Index, Group::Geo);
  }
  for (int n = 0; n < 4; ++n) add(FencePreview[n], K::Preview, Group::Geo);

  add(RtoEnable, K::Flag, Group::Rto);
  add(RtoOption, K::Index, Group::Rto);
  add(RtoPreview, K::Preview, Group::Rto);

  add(BacEnable, K::Flag, Group::Bac);
  add(OverSpeedAlarm, K::Flag, Group::Bac);
  add(SpeedLimited, K::Text, Group::Bac, 3);
  add(InfoReportFlag, K::Flag, Group::Bac);
  add(InfoReportPeriod, K::Text, Group::Bac, 4);
  for (int i = 0; i < 8; ++i) add(BacFlagRun[i], K::Flag, Group::Bac);
  add(MovDetMode, K::Flag, Group::Bac);
  add(SendNum, K::Text, Group::Bac, 1);
  add(MovSpeed, K::Text, Group::Bac, 3);
  add(MovDistance, K::Text, Group::Bac, 4);
  add(BacPreview, K::Preview, Group::Bac);

  for (int k = 0; k < 5; ++k) {
    add(KeyBox[k], K::Flag, Group::Kpn);
    add(PhoneNumber[k], K::Text, Group::Kpn, 30);
    add(PhoneName[k], K::Text, Group::Kpn, 20);
    if (KpnEnable[k] > 0) add(KpnEnable[k], K::Index, Group::Kpn);
    if (AutoAnswer[k] > 0) add(AutoAnswer[k], K::Index, Group::Kpn);
  }
  for (int k = 0; k < 5; ++k) add(KeyPreview[k], K::Preview, Group::Kpn);

  add(WltEnable, K::Flag, Group::Wlt);
  add(CallFilter, K::Index, Group::Wlt);
  add(MobileStart, K::Index, Group::Wlt);
  add(MobileEnd, K::Index, Group::Wlt);
  add(GglMode, K::Index, Group::Wlt);
  for (int p = 0; p < 10; ++p) add(WhiteNumber[p], K::Text, Group::Wlt, 20, true);
  add(WltPreview, K::Preview, Group::Wlt);

  add(PinEnable, K::Flag, Group::Pin);
  add(AutoUnlock, K::Index, Group::Pin);
  add(PinCheck, K::Index, Group::Pin);
  add(Pin, K::Text, Group::Pin, 8);
  add(PinPreview, K::Preview, Group::Pin);
  return b;
}

}  // namespace

const std::vector<Binding>& Bindings() {
  static const std::vector<Binding> bindings = MakeBindings();
  return bindings;
}

const Binding* FindBinding(int id) {
  for (const Binding& b : Bindings())
    if (b.id == id) return &b;
  return nullptr;
}

CFormValues::CFormValues() {
  for (const Binding& b : Bindings()) {
    switch (b.kind) {
      case ValueKind::Text:
      case ValueKind::Preview: texts_[b.id]; break;
      case ValueKind::Address: addresses_[b.id] = {}; break;
      default: numbers_[b.id] = 0; break;
    }
  }
}

}  // namespace kestrun
