// Text without the blanks around it: the one trimming of config file names
// and values, table cells and reply lines.
#pragma once

#include <string>
#include <string_view>

namespace kestrun {

// `text` without the characters of `blanks` (spaces and TABs unless told) at its ends.
inline std::string Trimmed(std::string_view text, std::string_view blanks = " \t") {
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(blanks) - first + 1));
}

}  // namespace kestrun
