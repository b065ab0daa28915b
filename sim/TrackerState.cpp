#include "sim/TrackerState.h"

#include <climits>
#include <sstream>

#include "protocol/WholeNumber.h"

namespace kestrun::sim {

namespace {

std::string Join(const std::vector<std::string>& fields) {
  std::string text;
  for (std::size_t i = 0; i < fields.size(); ++i) text += (i ? "," : "") + fields[i];
  return text;
}

int Number(const std::string& text) {
  const std::optional<long long> value = ParseWholeWithin(text, INT_MIN, INT_MAX);
  return value ? static_cast<int>(*value) : -1;
}

// Reply field counts of the eight queries: the simulator's own, written
// apart from the tool's field table so that it does not share its mistakes.
const std::map<std::string, std::size_t> kReplyFields = {{"SRI", 9},  {"BEI", 5},  {"TRI", 5},  {"GEO", 25},
                                                         {"BAC", 18}, {"KPN", 30}, {"WLT", 12}, {"PIN", 3}};

}  // namespace

std::vector<std::string> SplitComma(const std::string& text) {
  std::vector<std::string> fields;
  std::string field;
  for (char c : text) {
    if (c == ',') {
      fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  fields.push_back(field);
  return fields;
}

int ReplyFieldCount(const std::string& group) {
  const auto found = kReplyFields.find(group);
  return found == kReplyFields.end() ? 0 : static_cast<int>(found->second);
}

int ExpectedSettingFields(const std::string& group, const std::vector<std::string>& fields) {
  static const std::map<std::string, int> fixed = {{"SRI", 10}, {"BEI", 7},  {"TRI", 6}, {"GEO", 8},
                                                   {"RTO", 3},  {"BAC", 20}, {"KPN", 8}, {"PIN", 9}};
  if (group == "WLT") {
    if (fields.size() < 3) return -1;
    const int start = Number(fields[1]), end = Number(fields[2]);
    if (start < 1 || end > 10 || start > end) return -1;
    return 8 + end - start + 1;
  }
  const auto found = fixed.find(group);
  return found == fixed.end() ? -1 : found->second;
}

CTrackerState::CTrackerState() {
  groups_["SRI"] = {"", "0", "1", "internet", "", "", "192.168.10.20", "5000", "+4915112345678"};
  groups_["BEI"] = {"", "", "0.0.0.0", "5001", "30"};
  groups_["TRI"] = {"", "0800", "1800", "5", "60"};
  auto& geo = groups_["GEO"];
  geo = {""};
  for (int n = 1; n <= 4; ++n)
    for (const std::string& f :
         {std::to_string(n), std::string(), std::string(), std::string(), std::string(), std::string("1")})
      geo.push_back(f);
  groups_["BAC"] = {"0", "100", "",  "",  "0",  "0", "1",  "0",   "0",
                    "0", "1",   "1", "0", "60", "0", "10", "100", "3"};
  auto& kpn = groups_["KPN"];
  for (int k = 0; k <= 4; ++k)
    for (const std::string& f : {std::to_string(k), std::string(k == 1 || k == 2 ? "0" : ""),
                                 std::string(k ? "1" : ""), std::string(), std::string(), std::string()})
      kpn.push_back(f);
  groups_["WLT"] = {"", "", "", "", "", "", "", "", "", "", "0", "0"};
  groups_["PIN"] = {"0", "", "0"};
}

bool CTrackerState::HasQuery(const std::string& group) const { return kReplyFields.count(group) > 0; }

std::string CTrackerState::ReplyBody(const std::string& group) const {
  const auto found = groups_.find(group);
  if (found == groups_.end()) return {};
  std::vector<std::string> fields = found->second;
  // Groups whose reply starts with the password carry the current one.
  if (group == "SRI" || group == "BEI" || group == "TRI" || group == "GEO") fields[0] = password;
  return Join(fields);
}

bool CTrackerState::ApplySetting(const std::string& line) {
  if (line.rfind("AT+RV", 0) != 0 || line.size() < 9 || line[8] != '=') return false;
  const std::string group = line.substr(5, 3);
  const std::vector<std::string> f = SplitComma(line.substr(9));
  if (static_cast<int>(f.size()) != ExpectedSettingFields(group, f)) return false;
  if (f[0] != password) return false;
  if (group == "SRI") {
    groups_["SRI"] = {password, f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8]};
  } else if (group == "BEI") {
    groups_["BEI"] = {password, "", f[3], f[4], f[5]};
  } else if (group == "TRI") {
    groups_["TRI"] = {password, f[1], f[2], f[3], f[4]};
  } else if (group == "GEO") {
    const int n = Number(f[1]);
    if (n < 1 || n > 4) return false;
    auto& geo = Fields("GEO");
    for (int i = 0; i < 6; ++i) geo[1 + 6 * (n - 1) + i] = f[1 + i];
  } else if (group == "RTO") {
    static const std::string codes = "12345678AB";
    if (f[1].size() != 1 || codes.find(f[1][0]) == std::string::npos) return false;
    lastRealTimeOperation = static_cast<int>(*ParseWhole(f[1], 16));
  } else if (group == "BAC") {
    // The line's fields between password and stamp are the reply's.
    groups_["BAC"] = std::vector<std::string>(f.begin() + 1, f.end() - 1);
  } else if (group == "KPN") {
    const int k = Number(f[1]);
    if (k < 0 || k > 4) return false;
    auto& kpn = Fields("KPN");
    for (int i = 0; i < 6; ++i) kpn[6 * k + i] = f[1 + i];
  } else if (group == "WLT") {
    const int start = Number(f[1]), end = Number(f[2]);
    auto& wlt = Fields("WLT");
    for (int p = start; p <= end; ++p) wlt[p - 1] = f[3 + p - start];
    wlt[10] = f[3 + end - start + 1];
    wlt[11] = f[3 + end - start + 2];
  } else if (group == "PIN") {
    groups_["PIN"] = {f[1], f[2], f[3]};
  } else {
    return false;
  }
  return true;
}

std::string CTrackerState::Serialize() const {
  std::ostringstream out;
  out << "PASSWORD=" << password << "\n";
  for (const auto& [group, fields] : groups_) out << group << "=" << Join(fields) << "\n";
  return out.str();
}

bool CTrackerState::Deserialize(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "PASSWORD") {
      password = value;
      continue;
    }
    const auto expected = kReplyFields.find(key);
    const std::vector<std::string> fields = SplitComma(value);
    if (expected == kReplyFields.end() || fields.size() != expected->second) return false;
    groups_[key] = fields;
  }
  return true;
}

}  // namespace kestrun::sim
