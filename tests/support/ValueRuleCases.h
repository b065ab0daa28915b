// Values against the text fields' value rules: whether a Send may carry each
// one (possibly after its range check replaced it) or must refuse it. Shared
// by the form model's tests and the command line's file check.
#pragma once

#include <vector>

#include "protocol/ControlIds.h"

namespace kestrun::testing {

struct ValueRuleCase {
  int id;
  const char* value;
  bool accepted;
};

inline const std::vector<ValueRuleCase>& ValueRuleCases() {
  using namespace ctl;
  static const std::vector<ValueRuleCase> cases = {
      {BeginTime, "0930", true},
      {BeginTime, "2400", true},  // the range check makes it 2359
      {BeginTime, "1261", false},
      {BeginTime, "93", false},
      {EndTime, "", true},
      {EndTime, "ab12", false},
      {SendInterval, "15", true},
      {SendInterval, "abc", false},
      {SendInterval, "-5", true},  // a number: the range check makes it 0
      {SendInterval, "5x", false},
      {FixInterval, "+5", false},
      {PositionDelay, "12a", false},
      {InfoReportPeriod, "abc", false},
      {SendNum, "x", false},
      {SpeedLimited, "12x", false},
      {MovSpeed, "1.5", false},
      {MovDistance, "200", true},
      {SriPort, "7000", true},
      {SriPort, "65535", true},
      {SriPort, "70x0", false},
      {SriPort, "7O00", false},
      {SriPort, "-5", false},
      {SriPort, "+5000", false},
      {SriPort, "0", false},
      {BeiPort, "65536", false},
      {SmsGateway, "+4917012345", true},
      {SmsGateway, "0170 555", false},
      {SmsGateway, "49+170", false},
      {PhoneNumber[1], "+49170", true},
      {PhoneNumber[0], "0170-55", false},
      {WhiteNumber[2], "0170x", false},
      {Pin, "", true},
      {Pin, "12345678", true},
      {Pin, "123", false},
      {Pin, "12a4", false},
      {Longitude[0], "-113.5", true},
      {Longitude[0], "180", true},
      {Longitude[1], "+.5", true},
      {Longitude[0], "180.01", false},
      {Longitude[0], "1e400", false},
      {Longitude[3], "nan", false},
      {Latitude[2], "-90", true},
      {Latitude[2], "90.5", false},
      {Latitude[1], "-89.9999999999999999", true},  // a double would read it past -90
      {Latitude[1], "90.0000000000000001", false},
      {Latitude[0], "nan", false},
      {Latitude[0], "1.2.3", false},
      {Radius[3], "500", true},
      {Radius[3], "-1", false},
      {CheckInterval[1], "5m", false},
      {Apn, "web.example", true},
      {Apn, "a,b", false},
      {ApnUser, "", true},
      {PhoneName[2], "Dri\tver", false},
  };
  return cases;
}

}  // namespace kestrun::testing
