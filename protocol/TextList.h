// A list of texts as one line, its items between `separator`s.
#pragma once

#include <string>
#include <vector>

namespace kestrun {

inline std::string JoinedWith(const std::vector<std::string>& items, const std::string& separator) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) text += (i ? separator : "") + items[i];
  return text;
}

}  // namespace kestrun
