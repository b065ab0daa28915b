#include "protocol/JsonText.h"

#include <cstdio>

namespace kestrun {

std::size_t Utf8Length(const std::string& s, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = at(i);
  if (c < 0x80) return 1;
  const std::size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((at(i + k) & 0xC0) != 0x80) return 0;
  // The second byte's range that rules out overlong forms, surrogates and
  // code points past U+10FFFF.
  const unsigned char second = at(i + 1);
  if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
      (c == 0xF4 && second > 0x8F))
    return 0;
  return n;
}

std::string JsonString(const std::string& value) {
  const auto escaped = [](unsigned char c) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
    return std::string(buffer);
  };
  std::string text = "\"";
  for (std::size_t i = 0; i < value.size();) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (c == '"' || c == '\\') {
      text += '\\';
      text += value[i++];
    } else if (c < 0x20 || c == 0x7F) {
      text += escaped(c);
      ++i;
    } else if (const std::size_t n = Utf8Length(value, i); n > 0) {
      text.append(value, i, n);
      i += n;
    } else {
      text += escaped(c);  // a byte of another code page, shown as Latin-1
      ++i;
    }
  }
  return text + "\"";
}

}  // namespace kestrun
