// JSON string literals from the bytes the program handles: table cells,
// tracker replies and file names, which are UTF-8 mostly but not always.
#pragma once

#include <cstddef>
#include <string>

namespace kestrun {

// The length of the well-formed UTF-8 sequence at `i` of `s` (1 to 4), or 0
// where it is not one: a stray or cut byte, an overlong form, a surrogate or
// a code point past U+10FFFF, none of which a UTF-8 database column takes.
std::size_t Utf8Length(const std::string& s, std::size_t i);

// A JSON string literal of `value`: quotes, backslashes and control bytes
// escaped, and each byte that is not part of well-formed UTF-8 written as
// \u00XX (as Latin-1), so the literal is always valid UTF-8.
std::string JsonString(const std::string& value);

}  // namespace kestrun
