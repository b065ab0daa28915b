// A bench of simulated trackers for the benchmark programs: COM 100 and up in
// a ports folder of the benchmark's own, each answering `delayMs` late.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/TrackerSim.h"

namespace kestrun {

// Starts `count` fresh simulators in `portsDir` (emptied first); false, with
// the reason on stderr under `program`'s name, when one does not start.
// `ports` receives their COM numbers as --port takes them ("100,101").
inline bool StartSimBench(const char* program, const std::string& portsDir, int count, int delayMs,
                          std::vector<std::unique_ptr<sim::CTrackerSim>>& sims, std::string& ports) {
  sims.clear();
  ports.clear();
  std::filesystem::remove_all(portsDir);
  for (int i = 0; i < count; ++i) {
    sim::SimOptions options;
    options.portsDir = portsDir;
    options.comNumber = 100 + i;
    options.answerDelayMs = delayMs;
    sims.push_back(std::make_unique<sim::CTrackerSim>(options));
    std::string error;
    if (!sims.back()->Start(error)) {
      std::fprintf(stderr, "%s: %s\n", program, error.c_str());
      return false;
    }
    ports += (i ? "," : "") + std::to_string(options.comNumber);
  }
  return true;
}

}  // namespace kestrun
