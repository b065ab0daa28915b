#include "protocol/PinCommand.h"

#include "protocol/CommandLine.h"
#include "protocol/Fields.h"

namespace kestrun {

bool CPinCommand::Build() {
  commandLine = Line({Dec(autoUnlock), pin, Dec(pinCheck), "", "", "", ""});
  return true;
}

bool CPinCommand::Parse(const std::string& reply) {
  std::vector<std::string> f;
  if (!SplitReplyFields(reply, f)) return false;
  autoUnlock = ReadNumber(f[0]);
  pin = f[1];
  pinCheck = ReadNumber(f[2]);
  return true;
}

}  // namespace kestrun
