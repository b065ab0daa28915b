#include "protocol/Imei.h"

#include <algorithm>

namespace kestrun {

bool IsValidImei(const std::string& text) {
  if (text.size() != 15 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  // Luhn: from the right, every second digit is doubled and its digits summed.
  int sum = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    int digit = text[text.size() - 1 - i] - '0';
    if (i % 2 == 1) digit = digit * 2 > 9 ? digit * 2 - 9 : digit * 2;
    sum += digit;
  }
  return sum % 10 == 0;
}

}  // namespace kestrun
