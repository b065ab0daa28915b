#include "protocol/PinCommand.h"

#include "protocol/CommandLine.h"
#include "protocol/Fields.h"
#include "protocol/UtcStamp.h"

namespace kestrun {

bool CPinCommand::Build() {
  commandLine =
      JoinCommand("PIN", {password, Dec(autoUnlock), pin, Dec(pinCheck), "", "", "", "", UtcStamp()});
  return true;
}

bool CPinCommand::Parse(const std::string& reply) {
  std::string f[5];
  if (!SplitReply(reply, "RVPIN:", f, 5, 3)) return false;
  autoUnlock = ReadNumber(f[0]);
  pin = f[1];
  pinCheck = ReadNumber(f[2]);
  return true;
}

}  // namespace kestrun
