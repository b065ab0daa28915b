#include "protocol/TriCommand.h"

#include "protocol/CommandLine.h"
#include "protocol/Fields.h"

namespace kestrun {

bool CTriCommand::Build() {
  commandLine = Line({beginTime, endTime, sendInterval, fixInterval});
  return true;
}

bool CTriCommand::Parse(const std::string& reply) {
  std::vector<std::string> f;
  if (!SplitReplyFields(reply, f)) return false;
  password = f[0];
  beginTime = f[1];
  endTime = f[2];
  sendInterval = f[3];
  fixInterval = f[4];
  return true;
}

}  // namespace kestrun
