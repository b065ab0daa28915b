// The journal's target as rv450-cli chooses it (--journal, else
// RV450_JOURNAL, else the default file) and `journal push`, run as the real
// program with an environment of its own.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "journal/Journal.h"

namespace {

namespace fs = std::filesystem;

struct Finished {
  int status = -1;
  std::string out, err;
};

// rv450-cli with only XDG_DATA_HOME (under `dir`) and `variable` set.
Finished RunCli(const fs::path& dir, const std::string& variable, const std::string& args) {
  const std::string command = "env -i PATH=/usr/bin:/bin XDG_DATA_HOME='" + (dir / "data").string() + "' " +
                              variable + " " KESTRUN_CLI_BINARY " " + args + " 2>'" + (dir / "err").string() +
                              "'";
  Finished run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[512];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, got);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(dir / "err");
  std::stringstream text;
  text << err.rdbuf();
  run.err = text.str();
  return run;
}

TEST(JournalPushTest, TargetComesFromTheOptionThenTheVariable) {
  const fs::path dir = fs::path(testing::TempDir()) / ("journal-push-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  // A server nobody runs: its socket folder does not exist.
  const std::string away = "postgresql://kestrun:s3cret@/kestrun?host=" + (dir / "no-server").string();
  const std::string file = (dir / "chosen.sqlite").string();
  {
    kestrun::journal::CJournal chosen;
    kestrun::journal::JournalRow row;
    row.station = "bench-7";
    std::string error;
    ASSERT_TRUE(chosen.Open(file, error) && chosen.Append(row, error)) << error;
  }
  const struct {
    std::string variable, args;
    int status;
    std::string out, err;  // each must appear
  } rows[] = {
      {"RV450_JOURNAL='" + away + "'", "journal push", 5, "rows sent: 0, still waiting: 0", "kestrun:***@"},
      {"RV450_JOURNAL='" + away + "'", "journal push --journal '" + file + "'", 2, "",
       "no shared journal is set"},
      {"", "journal push", 2, "", "no shared journal is set"},
      {"RV450_JOURNAL='" + away + "'", "journal", 0, "TIME (UTC)", ""},
      {"RV450_JOURNAL='" + file + "'", "journal", 0, "  bench-7\n", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.variable + " " + row.args);
    const Finished run = RunCli(dir, row.variable, row.args);
    EXPECT_EQ(run.status, row.status) << run.err;
    EXPECT_NE(run.out.find(row.out), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(row.err), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("s3cret"), std::string::npos) << run.err;
  }
  // A server's outbox is the default file.
  EXPECT_TRUE(fs::exists(dir / "data" / "rv450-kestrun" / "journal.sqlite"));
}

}  // namespace
