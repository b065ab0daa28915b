#include "protocol/ControlChars.h"

#include <cstdio>

#include "protocol/Validation.h"

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

namespace {

constexpr std::size_t kLongestShown = 64;

// The first bytes of a text too long to show whole, no character cut in two.
std::string_view ShownPart(std::string_view text) { return text.substr(0, Utf8CutPoint(text, 40)); }

std::string SizeOf(std::string_view text) { return " (" + std::to_string(text.size()) + " bytes)"; }

}  // namespace

std::string ShownText(std::string_view text) {
  if (text.size() <= kLongestShown) return EscapeControlBytes(text);
  return EscapeControlBytes(ShownPart(text)) + "..." + SizeOf(text);
}

std::string QuotedValue(std::string_view value) {
  if (value.size() <= kLongestShown) return "'" + EscapeControlBytes(value) + "'";
  return "'" + EscapeControlBytes(ShownPart(value)) + "...'" + SizeOf(value);
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
