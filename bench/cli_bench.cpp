// rv450-cli-bench: a provisioning run of the command line. For each pacing
// and for 1, 4 and 8 simulated trackers at once, `rv450-cli write` then
// `rv450-cli verify` of one fully filled config file; prints the median wall
// time of the pair and its ratio to one tracker.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/FullForm.h"
#include "cli/Cli.h"
#include "protocol/ControlIds.h"
#include "settings/ConfigFile.h"
#include "sim/TrackerSim.h"

using namespace kestrun;
using namespace ctl;

namespace {

constexpr const char* kUsage =
    "Usage: rv450-cli-bench [--runs N] [--delay MS] [--pacing specified|fast] [--trackers LIST]\n"
    "                       [--log-dir DIR]\n"
    "\n"
    "Writes one fully filled config file to 1, 4 and 8 simulated trackers at once\n"
    "and verifies it (rv450-cli write, then rv450-cli verify), with the specified\n"
    "and the fast pacing, and prints the median wall time of each pair of runs.\n"
    "\n"
    "  --runs N         runs per row, the median is shown (default 5)\n"
    "  --delay MS       each simulator answers each line after MS milliseconds (default 0)\n"
    "  --pacing P       only this pacing (default: both)\n"
    "  --trackers LIST  tracker counts, e.g. 1,4,8 (default)\n"
    "  --log-dir DIR    keep the traffic logs of the last run there\n"
    "  --help           this text\n"
    "\n"
    "Exit status: 0 when every run passed, 1 when one failed, 2 on bad usage.\n";

bool ParseList(const std::string& text, std::vector<int>& values) {
  values.clear();
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) {
    char* end = nullptr;
    const long value = std::strtol(part.c_str(), &end, 10);
    if (part.empty() || *end || value < 1 || value > 64) return false;
    values.push_back(static_cast<int>(value));
  }
  return !values.empty();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Bench {
  std::string dir;
  std::string file;
  int delayMs = 0;
  std::string logDir;

  // One write then verify to `count` fresh simulators; seconds, or < 0 on failure.
  double Run(int count, const std::string& pacing) {
    const std::string portsDir = dir + "/ports";
    std::filesystem::remove_all(portsDir);
    std::vector<std::unique_ptr<sim::CTrackerSim>> sims;
    std::string ports;
    for (int i = 0; i < count; ++i) {
      sim::SimOptions options;
      options.portsDir = portsDir;
      options.comNumber = 100 + i;
      options.answerDelayMs = delayMs;
      sims.push_back(std::make_unique<sim::CTrackerSim>(options));
      std::string error;
      if (!sims.back()->Start(error)) {
        std::fprintf(stderr, "rv450-cli-bench: %s\n", error.c_str());
        return -1;
      }
      ports += (i ? "," : "") + std::to_string(options.comNumber);
    }
    cli::Environment env;
    env.discovery = {dir + "/no-sysfs", "/dev", portsDir};
    env.workDir = dir;
    const auto start = std::chrono::steady_clock::now();
    for (const char* command : {"write", "verify"}) {
      std::ostringstream out, err;
      std::vector<std::string> args = {command, file, "--port", ports, "--pacing", pacing, "--quiet"};
      if (!logDir.empty()) args.insert(args.end(), {"--log-dir", logDir});
      const int status = cli::RunCli(args, out, err, env);
      if (status != 0) {
        std::fprintf(stderr, "rv450-cli-bench: %s to %d trackers failed (%d):\n%s%s", command, count, status,
                     out.str().c_str(), err.str().c_str());
        return -1;
      }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
};

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  std::vector<int> counts = {1, 4, 8};
  std::vector<std::string> pacings = {"specified", "fast"};
  Bench bench;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    bool ok = false;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--runs" && hasValue) ok = (runs = std::atoi(argv[++i])) > 0;
    if (arg == "--delay" && hasValue) ok = (bench.delayMs = std::atoi(argv[++i])) >= 0;
    if (arg == "--trackers" && hasValue) ok = ParseList(argv[++i], counts);
    if (arg == "--log-dir" && hasValue) ok = !(bench.logDir = argv[++i]).empty();
    if (arg == "--pacing" && hasValue) {
      const std::string pacing = argv[++i];
      ok = pacing == "specified" || pacing == "fast";
      pacings = {pacing};
    }
    if (!ok) {
      std::fprintf(stderr, "rv450-cli-bench: bad argument '%s'\n\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }

  char dirTemplate[] = "/tmp/rv450-cli-bench-XXXXXX";
  if (!::mkdtemp(dirTemplate)) return 1;
  bench.dir = dirTemplate;
  bench.file = bench.dir + "/fleet.ini";
  {
    CIniFile file(bench.file);
    WriteConfigFile(file, FullFormValues(), "");
  }

  std::printf("| pacing | trackers | write + verify (median of %d) | vs one tracker |\n", runs);
  std::printf("|---|---|---|---|\n");
  int status = 0;
  for (const std::string& pacing : pacings) {
    double one = 0;
    for (int count : counts) {
      std::vector<double> times;
      for (int r = 0; r < runs && status == 0; ++r) {
        const double seconds = bench.Run(count, pacing);
        if (seconds < 0) status = 1;
        times.push_back(seconds);
      }
      if (status != 0) break;
      const double median = Median(times);
      if (count == counts.front()) one = median;
      std::printf("| %s | %d | %.3f s | %.2fx |\n", pacing.c_str(), count, median, median / one);
      std::fflush(stdout);
    }
  }
  std::filesystem::remove_all(bench.dir);
  return status;
}
