#include "port/Pacing.h"

#include <cctype>

namespace kestrun {

namespace {

bool SameIgnoringCase(const std::string& text, const std::string& lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != lower[i]) return false;
  return true;
}

}  // namespace

bool CPacing::Parse(const std::string& name, CPacing& pacing) {
  for (const CPacing candidate : {Fast(), Specified()})
    if (SameIgnoringCase(name, candidate.Name())) {
      pacing = candidate;
      return true;
    }
  return false;
}

CPacing CPacing::FromSetting(const std::string& value) {
  CPacing pacing = Specified();
  Parse(value, pacing);
  return pacing;
}

}  // namespace kestrun
