// The one reading of a whole number from text, used by every room that reads one.
#pragma once

#include <optional>
#include <string_view>

namespace kestrun {

// `text` is a whole number in `base` and nothing else: an optional sign ('+' or '-') and digits,
// no spaces, fitting a long long. Nothing when it is not one.
std::optional<long long> ParseWhole(std::string_view text, int base = 10);

// The same, and from `least` to `most`.
std::optional<long long> ParseWholeWithin(std::string_view text, long long least, long long most);

// `text` is ASCII digits 0 to 9 and nothing else, at least one. (::isdigit
// would take a byte from 0x80 up as a negative int, which it must not.)
bool IsDigits(std::string_view text);

}  // namespace kestrun
