#include "protocol/Identity.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <vector>

#include "protocol/ReplyRules.h"
#include "protocol/Trimmed.h"
#include "protocol/WholeNumber.h"

namespace kestrun {

namespace {

// A reply's items may stand in quotes ("89440...").
constexpr const char* kBlanksOrQuotes = " \t\"";

// The reply's lines between the echo and the closing OK, each without its
// `prefixes` ("+CGSN:") and surrounding blanks or quotes; nothing when the
// reply was refused or is not complete.
std::vector<std::string> ItemLines(const std::string& reply, std::initializer_list<const char*> prefixes) {
  std::vector<std::string> items;
  if (FindLineStarting(reply, "ERROR") != std::string::npos) return items;
  if (FindLineStarting(reply, "OK") == std::string::npos) return items;
  std::size_t start = 0;
  while (start < reply.size()) {
    const std::size_t end = std::min(reply.find_first_of("\r\n", start), reply.size());
    std::string line = reply.substr(start, end - start);
    start = end + 1;
    for (const char* prefix : prefixes) {
      const std::string p = prefix;
      if (line.size() >= p.size() && std::equal(p.begin(), p.end(), line.begin(), [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
          })) {
        line = line.substr(p.size());
        break;
      }
    }
    line = Trimmed(line, kBlanksOrQuotes);
    if (!line.empty() && line != "OK") items.push_back(line);
  }
  return items;
}

// 0..`most` as a number, or 99 (unknown); -1 otherwise.
int SmallNumber(const std::string& text, int most) {
  if (!IsDigits(text) || text.size() > 2) return -1;
  const int value = static_cast<int>(*ParseWhole(text));
  return value <= most || value == 99 ? value : -1;
}

}  // namespace

char LuhnCheckDigit(const std::string& digits) {
  int sum = 0;
  bool twice = true;  // the digit next to the check digit is doubled
  for (auto it = digits.rbegin(); it != digits.rend(); ++it, twice = !twice) {
    int d = *it - '0';
    if (twice) d = d * 2 > 9 ? d * 2 - 9 : d * 2;
    sum += d;
  }
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

bool LuhnValid(const std::string& digits) {
  return IsDigits(digits) && digits.size() >= 2 &&
         LuhnCheckDigit(digits.substr(0, digits.size() - 1)) == digits.back();
}

bool IsValidImei(const std::string& text) { return text.size() == 15 && LuhnValid(text); }

bool ParseImei(const std::string& reply, std::string& imei, bool& valid) {
  for (const std::string& line : ItemLines(reply, {"+CGSN:"})) {
    if (!IsDigits(line)) continue;
    imei = line;
    valid = IsValidImei(line);
    return true;
  }
  return false;
}

bool ParseIccid(const std::string& reply, std::string& iccid) {
  for (const std::string& line : ItemLines(reply, {"+CCID:", "+ICCID:"})) {
    std::string digits = line;
    if (digits.back() == 'F' || digits.back() == 'f') digits.pop_back();
    if (!IsDigits(digits) || line.size() < 19 || line.size() > 20) continue;
    iccid = digits.size() < line.size() ? digits + "F" : line;
    return true;
  }
  return false;
}

bool ParseSignal(const std::string& reply, int& rssi, int& ber) {
  if (FindLineStarting(reply, "+CSQ:") == std::string::npos) return false;
  for (const std::string& line : ItemLines(reply, {"+CSQ:"})) {
    const std::size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    const int r = SmallNumber(Trimmed(line.substr(0, comma), kBlanksOrQuotes), 31);
    const int b = SmallNumber(Trimmed(line.substr(comma + 1), kBlanksOrQuotes), 7);
    if (r < 0 || b < 0) continue;
    rssi = r == 99 ? -1 : r;
    ber = b == 99 ? -1 : b;
    return true;
  }
  return false;
}

std::string SignalText(int rssi) {
  if (rssi < 0) return "unknown";
  return std::to_string(-113 + 2 * rssi) + " dBm (rssi " + std::to_string(rssi) + ")";
}

}  // namespace kestrun
