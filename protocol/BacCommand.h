#pragma once

#include <array>
#include <string>

#include "protocol/CommandRecord.h"

namespace kestrun {

// RVBAC: special functions. The nine flags from fake power off to the info
// report flag are one run, always written and read in this order.
class CBacCommand : public CCommandRecord {
 public:
  CBacCommand() : CCommandRecord("BAC") {}
  static constexpr int kRun = 9;
  bool Build();
  bool Parse(const std::string& reply);

  int overSpeedAlarm = 0;
  std::string speedLimited;
  // fakePowerOff, fakeGhost, timingReport, geoFencing, lostTrace, sound,
  // onOffAlert, powerLowAlert, infoReportFlag
  std::array<int, kRun> flagRun{};
  std::string infoReportPeriod;
  int movDetMode = 0;
  std::string movSpeed, movDistance, sendNum;
  std::string commandLine;
};

}  // namespace kestrun
