#include "protocol/WltCommand.h"

#include "protocol/CommandLine.h"
#include "protocol/Fields.h"

namespace kestrun {

bool CWltCommand::Build() {
  if (mobileStart < 1 || mobileStart > kNumbers || mobileEnd < 1 || mobileEnd > kNumbers) return false;
  std::vector<std::string> f = {Dec(mobileStart), Dec(mobileEnd)};
  // A number with its comma fits 63 characters on the tracker side.
  for (int p = mobileStart; p <= mobileEnd; ++p) f.push_back(numbers[p - 1].substr(0, kMaxField - 1));
  for (const std::string& tail : {Dec(callFilter), Dec(gglMode), std::string(), std::string()})
    f.push_back(tail);
  commandLine = Line(f);
  return true;
}

bool CWltCommand::Parse(const std::string& reply) {
  std::vector<std::string> f;
  if (!SplitReplyFields(reply, f)) return false;
  for (int i = 0; i < kNumbers; ++i) numbers[i] = f[i];
  callFilter = ReadNumber(f[10]);
  gglMode = ReadNumber(f[11]);
  return true;
}

}  // namespace kestrun
