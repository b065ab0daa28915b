#include "protocol/WholeNumber.h"

#include <algorithm>
#include <charconv>
#include <system_error>

namespace kestrun {

std::optional<long long> ParseWhole(std::string_view text, int base) {
  // std::from_chars takes a '-' but not a '+'; a '+' may not be followed by another sign.
  if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text[0] == '-') return std::nullopt;
  }
  long long value = 0;
  const char* const last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value, base);
  if (error != std::errc{} || end != last) return std::nullopt;
  return value;
}

std::optional<long long> ParseWholeWithin(std::string_view text, long long least, long long most) {
  const std::optional<long long> value = ParseWhole(text);
  if (!value || *value < least || *value > most) return std::nullopt;
  return value;
}

bool IsDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace kestrun
