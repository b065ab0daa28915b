#include "cmdline/WholeNumber.h"

#include <cstdlib>
#include <sstream>

namespace kestrun {

bool ParseWholeNumber(const std::string& text, long least, long most, int& value) {
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || parsed < least || parsed > most) return false;
  value = static_cast<int>(parsed);
  return true;
}

bool ParseWholeNumbers(const std::string& text, long least, long most, std::vector<int>& values) {
  values.clear();
  std::stringstream in(text);
  std::string part;
  int value = 0;
  while (std::getline(in, part, ','))
    if (ParseWholeNumber(part, least, most, value))
      values.push_back(value);
    else
      return false;
  return !values.empty();
}

}  // namespace kestrun
