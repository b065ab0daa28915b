// Shared pieces of the tracker's command grammar: cutting a reply body into
// fields, reading numbers and dotted addresses, and locating a reply's body.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace kestrun {

using Octets = std::array<int, 4>;

// Parser limits; input beyond them is cut, never written past a buffer.
constexpr std::size_t kMaxBody = 511;
constexpr std::size_t kMaxField = 63;
constexpr std::size_t kMaxAddressDigits = 31;

// Cuts a reply body into fields separated by commas. The walk ends at the first
// carriage return or line feed. At most `capacity` slots are written; `count`
// still counts every field, so a body with too many fields never matches an
// expected count. A field longer than kMaxField characters is cut.
void SplitFields(std::string_view body, std::string* slots, int capacity, int& count);

// Reads "a.b.c.d" into four octets (no range check). True only for exactly four
// parts; on false the octets hold whatever parts were closed.
bool ParseDottedAddress(std::string_view text, Octets& octets);

// The tracker's number rule: leading white space, optional sign, decimal digits up
// to the first other character; no digits gives 0. Saturates at the int range.
int ReadNumber(std::string_view text);

// Longest leading decimal number (sign, digits, fraction, exponent) as a double,
// independent of the process locale; no number gives 0.
double ReadDecimal(std::string_view text);

// Position of the first "OK" that starts a line (at the very start of `text` or
// right after a carriage return or line feed), or npos.
std::size_t FindClosingOk(std::string_view text, std::size_t from = 0);

// True when `reply` holds `tag` and a closing "OK" after it, with no closing "OK"
// before the tag; `body` is then the text between the tag and that "OK", cut to
// kMaxBody characters.
bool ExtractReplyBody(std::string_view reply, std::string_view tag, std::string& body);

// Shared front half of every Parse: extract the body and split it. True when the
// reply has its tag and closing OK and exactly `expected` fields.
bool SplitReply(std::string_view reply, std::string_view tag, std::string* slots, int capacity, int expected);

// Empty when all four octets are 0, otherwise "a.b.c.d".
std::string FormatAddress(const Octets& octets);

}  // namespace kestrun
