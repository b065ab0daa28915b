#include "protocol/KpnCommand.h"

#include "protocol/CommandLine.h"
#include "protocol/Fields.h"

namespace kestrun {

bool CKpnCommand::Build(int key) {
  if (key < 0 || key >= kKeys) return false;
  // SOS carries neither list; keys 3 and 4 have no auto answer.
  const std::string answer = key == 1 || key == 2 ? Dec(autoAnswer[key]) : "";
  const std::string enable = key >= 1 ? Dec(kpnEnable[key]) : "";
  commandLines[key] = Line({Dec(key), answer, enable, phoneNumber[key], "", phoneName[key]});
  return true;
}

bool CKpnCommand::Parse(const std::string& reply) {
  std::vector<std::string> f;
  if (!SplitReplyFields(reply, f)) return false;
  if (ReadNumber(f[0]) != 0) return false;
  phoneNumber[0] = f[3];
  phoneName[0] = f[5];
  for (int k = 1; k < kKeys; ++k) {
    const std::string* group = &f[6 * k];
    if (ReadNumber(group[0]) != k) return false;
    if (k <= 2) autoAnswer[k] = ReadNumber(group[1]);
    kpnEnable[k] = ReadNumber(group[2]);
    phoneNumber[k] = group[3];
    phoneName[k] = group[5];
  }
  return true;
}

}  // namespace kestrun
