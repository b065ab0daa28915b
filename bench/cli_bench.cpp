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
#include "bench/Median.h"
#include "bench/SimBench.h"
#include "cli/Cli.h"
#include "cmdline/OptionTable.h"
#include "cmdline/WholeNumber.h"
#include "port/Pacing.h"
#include "protocol/ControlIds.h"
#include "settings/ConfigFile.h"
#include "sim/TrackerSim.h"

using namespace kestrun;
using namespace ctl;

namespace {

struct Bench {
  std::string dir;
  std::string file;
  int delayMs = 0;
  std::string logDir;
  std::string journal;  // --journal for every run: a file or a postgresql:// server

  // One write then verify to `count` fresh simulators; seconds, or < 0 on failure.
  double Run(int count, const std::string& pacing) {
    const std::string portsDir = dir + "/ports";
    std::vector<std::unique_ptr<sim::CTrackerSim>> sims;
    std::string ports;
    if (!StartSimBench("rv450-cli-bench", portsDir, count, delayMs, sims, ports)) return -1;
    cli::Environment env;
    env.discovery = {dir + "/no-sysfs", "/dev", portsDir};
    env.workDir = dir;
    // Every run is journalled, as a real one is, in the bench's own folder.
    env.journalPath = dir + "/journal.sqlite";
    const auto start = std::chrono::steady_clock::now();
    for (const char* command : {"write", "verify"}) {
      std::ostringstream out, err;
      std::vector<std::string> args = {command, file, "--port", ports, "--pacing", pacing, "--quiet"};
      if (!logDir.empty()) args.insert(args.end(), {"--log-dir", logDir});
      if (!journal.empty()) args.insert(args.end(), {"--journal", journal});
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

struct Settings {
  int runs = 5;
  std::vector<int> counts = {1, 4, 8};
  std::vector<std::string> pacings = {"specified", "fast"};
  bool help = false;
};

COptionTable OptionTable(Settings& s, Bench& bench) {
  auto bad = [](const std::string& name, const std::string& value, std::string& error) {
    error = "bad " + name + " '" + value + "'";
    return false;
  };
  return COptionTable({
      {"--runs", "N", "runs per row, the median is shown (default 5)",
       [&s, bad](const std::string& value, std::string& error) {
         return ParseWholeNumber(value, 1, 1000000, s.runs) || bad("--runs", value, error);
       }},
      {"--delay", "MS", "each simulator answers each line after MS milliseconds (default 0)",
       [&bench, bad](const std::string& value, std::string& error) {
         return ParseWholeNumber(value, 0, 1000000, bench.delayMs) || bad("--delay", value, error);
       }},
      {"--pacing", "P", "only this pacing (default: both)",
       [&s, bad](const std::string& value, std::string& error) {
         CPacing pacing;
         if (!CPacing::Parse(value, pacing)) return bad("--pacing", value, error);
         s.pacings = {pacing.Name()};
         return true;
       }},
      {"--trackers", "LIST", "tracker counts, e.g. 1,4,8 (default)",
       [&s, bad](const std::string& value, std::string& error) {
         return ParseWholeNumbers(value, 1, 64, s.counts) || bad("--trackers", value, error);
       }},
      {"--log-dir", "DIR", "keep the traffic logs of the last run there",
       [&bench, bad](const std::string& value, std::string& error) {
         bench.logDir = value;
         return !value.empty() || bad("--log-dir", value, error);
       }},
      {"--journal", "TARGET", "the journal of every run: a file or a postgresql:// server",
       [&bench, bad](const std::string& value, std::string& error) {
         bench.journal = value;
         return !value.empty() || bad("--journal", value, error);
       }},
      {"-h,--help", "", "this text", [&s](const std::string&, std::string&) { return s.help = true; }},
  });
}

std::string Usage() {
  Settings unused;
  Bench unusedBench;
  return "Usage: rv450-cli-bench [--runs N] [--delay MS] [--pacing specified|fast] [--trackers LIST]\n"
         "                       [--log-dir DIR] [--journal TARGET]\n"
         "\n"
         "Writes one fully filled config file to 1, 4 and 8 simulated trackers at once\n"
         "and verifies it (rv450-cli write, then rv450-cli verify), with the specified\n"
         "and the fast pacing, and prints the median wall time of each pair of runs.\n"
         "\n"
         "Options:\n" +
         OptionTable(unused, unusedBench).Help() +
         "\n"
         "Exit status: 0 when every run passed, 1 when one failed, 2 on bad usage.\n";
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  Bench bench;
  std::string error;
  OptionTable(settings, bench).ParseWithoutOperands(argc, argv, error);
  if (!error.empty()) {
    std::fprintf(stderr, "rv450-cli-bench: %s\n\n%s", error.c_str(), Usage().c_str());
    return 2;
  }
  if (settings.help) {
    std::fputs(Usage().c_str(), stdout);
    return 0;
  }
  const int runs = settings.runs;
  const std::vector<int>& counts = settings.counts;
  const std::vector<std::string>& pacings = settings.pacings;

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
