#include "protocol/ControlChars.h"

#include <cstdio>

namespace kestrun {

std::size_t FindControlByte(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i)
    if (IsControlByte(static_cast<unsigned char>(text[i]))) return i;
  return std::string_view::npos;
}

std::string WithoutControlBytes(std::string_view text) {
  std::string kept;
  kept.reserve(text.size());
  for (char c : text)
    if (!IsControlByte(static_cast<unsigned char>(c))) kept += c;
  return kept;
}

std::string EscapeControlBytes(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (!IsControlByte(byte)) {
      shown += c;
      continue;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", byte);
    shown += hex;
  }
  return shown;
}

std::string ControlByteName(unsigned char byte) {
  switch (byte) {
    case '\r': return "CR";
    case '\n': return "LF";
    case '\0': return "NUL";
    case '\t': return "TAB";
    case 0x1B: return "ESC";
    case 0x7F: return "DEL";
    default: {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", byte);
      return hex;
    }
  }
}

}  // namespace kestrun
