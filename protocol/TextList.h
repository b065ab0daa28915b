// A list of texts as one line, its items between `separator`s.
#pragma once

#include <string>
#include <vector>

namespace kestrun {

inline std::string JoinedWith(const std::vector<std::string>& items, const std::string& separator) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

}  // namespace kestrun
