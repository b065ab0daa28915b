#include "protocol/CommandRecord.h"

#include "protocol/CommandLine.h"
#include "protocol/UtcStamp.h"

namespace kestrun {

std::string CCommandRecord::Line(const std::vector<std::string>& fields) const {
  return Line(fields, UtcStamp());
}

std::string CCommandRecord::Line(const std::vector<std::string>& fields, const std::string& stamp) const {
  std::vector<std::string> all;
  all.reserve(fields.size() + 2);
  all.push_back(password);
  all.insert(all.end(), fields.begin(), fields.end());
  all.push_back(stamp);
  return JoinCommand(name_, all);
}

std::string CCommandRecord::ReplyTag() const { return std::string("RV") + name_ + ":"; }

}  // namespace kestrun
