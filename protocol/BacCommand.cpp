#include "protocol/BacCommand.h"

#include "protocol/CommandLine.h"
#include "protocol/Fields.h"

namespace kestrun {

namespace {
int Flag(int value) { return value ? 1 : 0; }
}  // namespace

bool CBacCommand::Build() {
  std::vector<std::string> f = {Dec(Flag(overSpeedAlarm)), speedLimited, "", ""};
  for (int flag : flagRun) f.push_back(Dec(Flag(flag)));
  for (const std::string& tail : {infoReportPeriod, Dec(Flag(movDetMode)), movSpeed, movDistance, sendNum})
    f.push_back(tail);
  commandLine = Line(f);
  return true;
}

bool CBacCommand::Parse(const std::string& reply) {
  // Reply field k holds command field k + 2; no password, no stamp.
  std::vector<std::string> f;
  if (!SplitReplyFields(reply, f)) return false;
  overSpeedAlarm = Flag(ReadNumber(f[0]));
  speedLimited = f[1];
  for (int i = 0; i < kRun; ++i) flagRun[i] = Flag(ReadNumber(f[4 + i]));
  // The tail after the run, in the order Build writes it.
  std::size_t at = 4 + kRun;
  infoReportPeriod = f[at++];
  movDetMode = Flag(ReadNumber(f[at++]));
  movSpeed = f[at++];
  movDistance = f[at++];
  sendNum = f[at++];
  return true;
}

}  // namespace kestrun
