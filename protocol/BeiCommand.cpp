#include "protocol/BeiCommand.h"

#include "protocol/CommandLine.h"
#include "protocol/UtcStamp.h"

namespace kestrun {

bool CBeiCommand::Build() {
  // Fields 2 and 3 are always empty on the command line.
  commandLine =
      JoinCommand("BEI", {password, "", "", FormatAddress(backupIp), serverPort, positionDelay, UtcStamp()});
  return true;
}

bool CBeiCommand::Parse(const std::string& reply) {
  // The reply has a single empty field between the password and the address.
  std::string f[9];
  if (!SplitReply(reply, "RVBEI:", f, 9, 5)) return false;
  password = f[0];
  if (!ParseDottedAddress(f[2], backupIp)) backupIp = {};
  serverPort = f[3];
  positionDelay = f[4];
  return true;
}

}  // namespace kestrun
