#include "cmdline/WholeNumber.h"

#include <cstdlib>
#include <sstream>

#include "protocol/WholeNumber.h"

namespace kestrun {

bool ParseWholeNumber(const std::string& text, long least, long most, int& value) {
  const std::optional<long long> parsed = ParseWholeWithin(text, least, most);
  if (parsed) value = static_cast<int>(*parsed);
  return parsed.has_value();
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
