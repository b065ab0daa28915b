#include "batch/PortReport.h"

namespace kestrun::batch {

std::string Plural(std::size_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

std::string OutcomeWords(const PortReport& r) {
  if (r.outcome == "different") return Plural(r.differences.size(), "difference");
  std::string words = r.outcome;
  for (char& c : words)
    if (c == '-') c = ' ';
  return words;
}

}  // namespace kestrun::batch
