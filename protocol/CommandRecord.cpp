#include "protocol/CommandRecord.h"

#include "protocol/CommandLine.h"
#include "protocol/Groups.h"
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

bool CCommandRecord::SplitReplyFields(const std::string& reply, std::vector<std::string>& fields) const {
  const GroupInfo* group = FindGroup(name_);
  fields.assign(group ? static_cast<std::size_t>(group->replyFields) : 0, std::string());
  return group && SplitReply(reply, ReplyTag(), fields.data(), group->replyFields, group->replyFields);
}

std::string CCommandRecord::ReplyTag() const { return std::string("RV") + name_ + ":"; }

}  // namespace kestrun
