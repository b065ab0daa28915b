// The settings an RV450 keeps, as the simulator plays it: each group held as
// the fields its query reply carries, updated from settings lines.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "settings/ConnectionDefaults.h"

namespace kestrun::sim {

class CTrackerState {
 public:
  CTrackerState();  // plausible factory values

  std::string password = kDefaultPassword;

  // Applies a settings line "AT+RVxxx=..."; returns false (the tracker answers
  // ERROR) for an unknown command, a wrong field count, a wrong password or a
  // value out of range.
  bool ApplySetting(const std::string& line);
  // The query reply body (fields joined by commas) for "SRI", "BEI", ... or
  // empty when the group has no query.
  std::string ReplyBody(const std::string& group) const;
  bool HasQuery(const std::string& group) const;

  // "<group>=<reply body>" lines, for keeping a demo tracker between runs.
  std::string Serialize() const;
  bool Deserialize(const std::string& text);

  int lastRealTimeOperation = 0;

 private:
  std::vector<std::string>& Fields(const std::string& group) { return groups_[group]; }
  std::map<std::string, std::vector<std::string>> groups_;
};

// Number of fields of the group's query reply; 0 for a group without a query.
int ReplyFieldCount(const std::string& group);
// Number of fields a settings line of the group must carry (WLT: for its range).
int ExpectedSettingFields(const std::string& group, const std::vector<std::string>& fields);
std::vector<std::string> SplitComma(const std::string& text);

}  // namespace kestrun::sim
