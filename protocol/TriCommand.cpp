#include "protocol/TriCommand.h"

#include "protocol/CommandLine.h"
#include "protocol/Fields.h"
#include "protocol/UtcStamp.h"

namespace kestrun {

bool CTriCommand::Build() {
  commandLine = JoinCommand("TRI", {password, beginTime, endTime, sendInterval, fixInterval, UtcStamp()});
  return true;
}

bool CTriCommand::Parse(const std::string& reply) {
  std::string f[8];
  if (!SplitReply(reply, "RVTRI:", f, 8, 5)) return false;
  password = f[0];
  beginTime = f[1];
  endTime = f[2];
  sendInterval = f[3];
  fixInterval = f[4];
  return true;
}

}  // namespace kestrun
