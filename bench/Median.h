// The median of a benchmark's runs: what every benchmark program reports.
#pragma once

#include <algorithm>
#include <vector>

namespace kestrun {

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace kestrun
