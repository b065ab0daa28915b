#include "protocol/Fields.h"

#include <climits>
#include <cmath>

namespace kestrun {

namespace {
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
}  // namespace

void SplitFields(std::string_view body, std::string* slots, int capacity, int& count) {
  count = 0;
  std::string field;
  auto close = [&] {
    if (count < capacity) slots[count] = field;
    ++count;
    field.clear();
  };
  for (std::size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    if (IsLineEnd(c)) break;
    if (c == ',') {
      close();
    } else if (field.size() < kMaxField) {
      field += c;
    }
    const bool atEnd = i + 1 >= body.size() || IsLineEnd(body[i + 1]);
    if (atEnd) {
      close();
      break;
    }
  }
}

bool ParseDottedAddress(std::string_view text, Octets& octets) {
  if (text.size() > kMaxField) text = text.substr(0, kMaxField);
  if (text.empty()) return false;
  int parts = 0;
  std::string digits;
  auto closePart = [&] {
    if (parts < 4) {
      long value = 0;
      for (char d : digits) value = value * 10 + (d - '0');
      octets[parts] = digits.empty() ? 0 : static_cast<int>(std::min<long>(value, INT_MAX));
    }
    ++parts;
    digits.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      // Only the first nine digits make up the value: enough for any octet and safe
      // against overflow; a longer part is not a valid address anyway.
      if (digits.size() < kMaxAddressDigits && digits.size() < 9) digits += c;
    } else if (c == '.') {
      closePart();
      continue;
    } else {
      return false;
    }
    if (i + 1 == text.size() && !digits.empty()) closePart();
  }
  return parts == 4;
}

int ReadNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

double ReadDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  double sign = 1;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) sign = text[i++] == '-' ? -1 : 1;
  double value = 0;
  bool any = false;
  for (; i < text.size() && IsDigit(text[i]); ++i, any = true) value = value * 10 + (text[i] - '0');
  if (i < text.size() && text[i] == '.') {
    double scale = 0.1;
    for (++i; i < text.size() && IsDigit(text[i]); ++i, any = true, scale /= 10)
      value += (text[i] - '0') * scale;
  }
  if (!any) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    int expSign = 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) expSign = text[j++] == '-' ? -1 : 1;
    if (j < text.size() && IsDigit(text[j])) {
      int exponent = 0;
      for (; j < text.size() && IsDigit(text[j]); ++j)
        exponent = std::min(exponent * 10 + (text[j] - '0'), 9999);
      value *= std::pow(10.0, expSign * exponent);
    }
  }
  return sign * value;
}

std::size_t FindClosingOk(std::string_view text, std::size_t from) {
  for (std::size_t pos = text.find("OK", from); pos != std::string_view::npos;
       pos = text.find("OK", pos + 1)) {
    if (pos == 0 || IsLineEnd(text[pos - 1])) return pos;
  }
  return std::string_view::npos;
}

bool ExtractReplyBody(std::string_view reply, std::string_view tag, std::string& body) {
  const std::size_t tagPos = reply.find(tag);
  const std::size_t okPos = FindClosingOk(reply);
  if (tagPos == std::string_view::npos || okPos == std::string_view::npos || okPos < tagPos) return false;
  const std::size_t start = tagPos + tag.size();
  body.assign(reply.substr(start, std::min(okPos - start, kMaxBody)));
  return true;
}

bool SplitReply(std::string_view reply, std::string_view tag, std::string* slots, int capacity,
                int expected) {
  std::string body;
  if (!ExtractReplyBody(reply, tag, body)) return false;
  int count = 0;
  SplitFields(body, slots, capacity, count);
  return count == expected;
}

std::string FormatAddress(const Octets& octets) {
  if (octets[0] == 0 && octets[1] == 0 && octets[2] == 0 && octets[3] == 0) return {};
  return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." + std::to_string(octets[2]) + "." +
         std::to_string(octets[3]);
}

}  // namespace kestrun
