// Control characters in values. A value goes into a command line verbatim, so
// a carriage return or line feed inside it would end the line early and make
// the rest a second command; other bytes below 0x20 and DEL make the tracker's
// line editor misbehave. Bytes from 0x80 up are text (UTF-8 or another code
// page) and pass unchanged.
#pragma once

#include <string>
#include <string_view>

namespace kestrun {

// Bytes below 0x20 and DEL (0x7F).
constexpr bool IsControlByte(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// The position of the first control byte in `text`, or std::string_view::npos.
std::size_t FindControlByte(std::string_view text);

inline bool HasControlBytes(std::string_view text) { return FindControlByte(text) != std::string_view::npos; }

// `text` without its control bytes.
std::string WithoutControlBytes(std::string_view text);

// `text` as it may be shown on a terminal: every control byte as \xHH
// (ESC as \x1B), so that a name or value cannot move the cursor, clear the
// screen or ring the bell. Everything else, bytes from 0x80 up included, is
// kept as it is.
std::string EscapeControlBytes(std::string_view text);

// A name or value as a message shows it: as EscapeControlBytes shows it, and
// one longer than 64 bytes as its first 40 (cut at a character's start) and
// its size: "abc... (70000 bytes)". A spreadsheet cell or a settings file's
// value may hold megabytes, and a message is one line of a terminal or window.
std::string ShownText(std::string_view text);
// The same in quotes: 'value', or 'abc...' (70000 bytes).
std::string QuotedValue(std::string_view value);

// How a control byte is named in a message: "CR", "LF", "NUL", "TAB", "ESC",
// "DEL" or "0x07".
std::string ControlByteName(unsigned char byte);

}  // namespace kestrun
