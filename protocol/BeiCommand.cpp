#include "protocol/BeiCommand.h"

#include "protocol/CommandLine.h"

namespace kestrun {

bool CBeiCommand::Build() {
  // Fields 2 and 3 are always empty on the command line.
  commandLine = Line({"", "", FormatAddress(backupIp), serverPort, positionDelay});
  return true;
}

bool CBeiCommand::Parse(const std::string& reply) {
  // The reply has a single empty field between the password and the address.
  std::vector<std::string> f;
  if (!SplitReplyFields(reply, f)) return false;
  password = f[0];
  if (!ParseDottedAddress(f[2], backupIp)) backupIp = {};
  serverPort = f[3];
  positionDelay = f[4];
  return true;
}

}  // namespace kestrun
