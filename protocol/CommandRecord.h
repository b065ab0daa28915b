// What the nine command records share: the password that opens every line,
// building "AT+RV<name>=<password>,<fields>,<stamp>" and the front half of
// parsing a "+RV<name>:" reply.
#pragma once

#include <string>
#include <vector>

#include "protocol/Fields.h"

namespace kestrun {

class CCommandRecord {
 public:
  explicit CCommandRecord(const char* name) : name_(name) {}
  virtual ~CCommandRecord() = default;

  std::string password;

 protected:
  // The line with the password first and the current UTC stamp last.
  std::string Line(const std::vector<std::string>& fields) const;
  // The same with a stamp of the caller's (lines built together share one).
  std::string Line(const std::vector<std::string>& fields, const std::string& stamp) const;
  // Extracts the reply's body and splits it into `fields`; true when the reply
  // has its tag and closing OK and exactly the group's count of reply fields
  // (protocol/Groups.cpp).
  bool SplitReplyFields(const std::string& reply, std::vector<std::string>& fields) const;

 private:
  std::string ReplyTag() const;
  const char* name_;
};

}  // namespace kestrun
