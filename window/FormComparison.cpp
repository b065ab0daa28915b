#include "window/FormComparison.h"

namespace kestrun {

namespace {

GroupSelection AllGroupsSelected() {
  GroupSelection all;
  all.fill(true);
  return all;
}

std::string Dotted(const Octets& octets) {
  std::string text;
  for (std::size_t i = 0; i < octets.size(); ++i) text += (i ? "." : "") + std::to_string(octets[i]);
  return text;
}

}  // namespace

void CFormComparison::Take(const CFormValues& form, const CFormValues& tracker) {
  marks_.clear();
  // Every key a read fills, compared one at a time, so that each difference
  // keeps its field.
  differences_.clear();
  for (const ConfigKey* key : ReadKeys(AllGroupsSelected())) {
    const std::vector<Difference> found = Compare({key}, form, tracker);
    if (found.empty()) continue;
    differences_.push_back(found.front());
    marks_[key->id] = "tracker: " + (key->encoding == Encoding::Octet ? Dotted(tracker.Address(key->id))
                                                                      : found.front().trackerValue);
  }
}

bool CFormComparison::Unmark(int id) { return marks_.erase(id) > 0; }

bool CFormComparison::Clear() {
  const bool had = !marks_.empty() || !differences_.empty();
  marks_.clear();
  differences_.clear();
  return had;
}

std::string CFormComparison::StatusText() const {
  const std::size_t n = marks_.size();
  if (n == 0) return "No Difference";
  return n == 1 ? "1 Field Differs" : std::to_string(n) + " Fields Differ";
}

}  // namespace kestrun
