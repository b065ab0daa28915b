#include "window/ProvisioningSummary.h"

#include <algorithm>
#include <cstdio>

namespace kestrun {

void AddFinished(std::vector<FinishedJob>& jobs, FinishedJob job) {
  std::erase_if(jobs, [&job](const FinishedJob& earlier) {
    return (earlier.imei.empty() && earlier.port == job.port) ||
           (!job.imei.empty() && earlier.imei == job.imei);
  });
  jobs.push_back(std::move(job));
}

std::string SummaryText(const std::vector<FinishedJob>& jobs) {
  if (jobs.empty()) return {};
  int done = 0, failed = 0, stopped = 0;
  std::vector<double> times;
  for (const FinishedJob& job : jobs) {
    if (job.state == RowState::Done) {
      ++done;
      times.push_back(job.seconds);
    }
    failed += job.state == RowState::Failed ? 1 : 0;
    stopped += job.state == RowState::Stopped ? 1 : 0;
  }
  std::string text = std::to_string(done) + " done, " + std::to_string(failed) + " failed, " +
                     std::to_string(stopped) + " stopped";
  if (times.empty()) return text;
  std::sort(times.begin(), times.end());
  const std::size_t mid = times.size() / 2;
  const double median = times.size() % 2 ? times[mid] : (times[mid - 1] + times[mid]) / 2;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", median);
  return text + "; median " + seconds + " s per tracker";
}

}  // namespace kestrun
