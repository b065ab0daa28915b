// rv450-journal-bench: what the shared journal costs. Appends N rows (one
// per tracker, as a batch does) to the local SQLite journal alone, then to a
// store whose server is a PostgreSQL on this machine (a throwaway one, or the
// URL given), each several times; prints the median time of the N appends
// and the ratio of the two.
//
//   rv450-journal-bench [ROWS [RUNS [postgresql://...]]]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/Median.h"
#include "journal/JournalStore.h"
#include "protocol/WholeNumber.h"
#include "tests/support/PgServer.h"

using namespace kestrun;

namespace {

journal::JournalRow SampleRow(int i) {
  journal::JournalRow row;
  row.station = "bench";
  row.user = "bench";
  row.program = "rv450-journal-bench";
  row.version = "0";
  row.port = "COM" + std::to_string(i % 8 + 1);
  row.device = "/dev/ttyUSB" + std::to_string(i % 8);
  row.imei = "35175605152399" + std::to_string(i % 10);
  row.command = "write";
  row.settingsHash = std::string(64, 'a');
  row.groups = "RVSRI,RVBEI,RVTRI,RVGEO";
  row.outcome = "ok";
  row.seconds = 12.5;
  return row;
}

// Seconds for `rows` appends to a store opened on `target`; negative when it failed.
double Time(const std::string& target, const std::string& outbox, int rows) {
  std::filesystem::remove_all(std::filesystem::path(outbox).parent_path());
  journal::CJournalStore store;
  std::string error;
  if (!store.Open(target, outbox, error) || !store.warning().empty()) {
    std::fprintf(stderr, "rv450-journal-bench: %s%s\n", error.c_str(), store.warning().c_str());
    return -1;
  }
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < rows; ++i) {
    journal::JournalRow row = SampleRow(i);
    if (!store.Append(row, error) || (store.Shared() && !row.sent)) {
      std::fprintf(stderr, "rv450-journal-bench: row %d: %s%s\n", i, error.c_str(), store.warning().c_str());
      return -1;
    }
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? static_cast<int>(kestrun::ParseWhole(argv[1]).value_or(0)) : 32;
  const int runs = argc > 2 ? static_cast<int>(kestrun::ParseWhole(argv[2]).value_or(0)) : 7;
  if (rows < 1 || runs < 1) {
    std::fprintf(stderr, "usage: rv450-journal-bench [ROWS [RUNS [postgresql://...]]]\n");
    return 2;
  }
  // The server waits for its disk as a real one does.
  test::CPgServer server(true);
  std::string url = argc > 3 ? argv[3] : "";
  if (url.empty()) {
    std::string error;
    if (!server.Start(error)) {
      std::fprintf(stderr, "rv450-journal-bench: %s\n", error.c_str());
      return 1;
    }
    url = server.Url();
  }
  const std::string dir = (std::filesystem::temp_directory_path() / "rv450-journal-bench").string();
  std::vector<double> local, shared;
  for (int run = 0; run < runs; ++run) {
    // Side by side, so that a slow moment of the machine falls on both.
    local.push_back(Time(dir + "/local/journal.sqlite", dir + "/local/journal.sqlite", rows));
    shared.push_back(Time(url, dir + "/outbox/journal.sqlite", rows));
    if (local.back() < 0 || shared.back() < 0) return 1;
  }
  std::filesystem::remove_all(dir);
  const double a = Median(local), b = Median(shared);
  std::printf("%d rows, median of %d runs\n", rows, runs);
  std::printf("  SQLite journal           %8.1f ms  (%.2f ms a row)\n", a * 1000, a * 1000 / rows);
  std::printf("  SQLite + PostgreSQL      %8.1f ms  (%.2f ms a row)\n", b * 1000, b * 1000 / rows);
  std::printf("  ratio                    %8.2f\n", b / a);
  return 0;
}
