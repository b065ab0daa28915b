#include "protocol/GeoCommand.h"

#include "protocol/CommandLine.h"
#include "protocol/Fields.h"
#include "protocol/UtcStamp.h"

namespace kestrun {

bool CGeoCommand::Build() {
  const std::string stamp = UtcStamp();
  for (int i = 0; i < kFences; ++i) {
    commandLines[i] =
        Line({Dec(i + 1), longitude[i], latitude[i], radius[i], checkInterval[i], Dec(fenceType[i])}, stamp);
  }
  return true;
}

bool CGeoCommand::Parse(const std::string& reply) {
  std::vector<std::string> f;
  if (!SplitReplyFields(reply, f)) return false;
  password = f[0];
  // Each group names its own fence; groups before a bad number stay stored.
  for (int g = 0; g < kFences; ++g) {
    const std::string* group = &f[1 + 6 * g];
    const int n = ReadNumber(group[0]);
    if (n < 1 || n > kFences) return false;
    longitude[n - 1] = group[1];
    latitude[n - 1] = group[2];
    radius[n - 1] = group[3];
    checkInterval[n - 1] = group[4];
    fenceType[n - 1] = ReadNumber(group[5]);
  }
  return true;
}

}  // namespace kestrun
