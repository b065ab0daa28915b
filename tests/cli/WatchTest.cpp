// provision --watch in-process against simulated trackers plugged in while
// it runs (the comings and goings, the silence towards a finished tracker and
// the skip of a done one are the station's test): ports absent at start, one
// line per tracker, the next tracker on a line of input, and the closing
// status and report whether the input ends or Ctrl+C comes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <condition_variable>
#include <algorithm>
#include <deque>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "../support/SimSupport.h"
#include "../support/TestSupport.h"
#include "CliSupport.h"
#include "cli/Cli.h"

using namespace kestrun;
using namespace kestrun::cli;
using namespace kestrun::testing;
using namespace std::chrono_literals;

namespace {

// Standard input typed line by line: reads block until a line comes or it is closed.
class CTypedInput final : public std::streambuf {
 public:
  void Type(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.insert(pending_.end(), text.begin(), text.end());
    changed_.notify_all();
  }
  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }

 protected:
  int_type underflow() override {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !pending_.empty() || closed_; });
    if (pending_.empty()) return traits_type::eof();
    byte_ = pending_.front();
    pending_.pop_front();
    setg(&byte_, &byte_, &byte_ + 1);
    return traits_type::to_int_type(byte_);
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<char> pending_;
  bool closed_ = false;
  char byte_ = 0;
};

// The typed inputs of the watch runs, one per ending.
struct KeptInput {
  CTypedInput* typed;
  std::istream* input;
};
KeptInput gKeptInputs[3];

class WatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env.discovery = OnlyPortsFolder(dir / "ports");
    env.workDir = dir.path();
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    WriteConfig(dir / "fleet.ini", FullValues());
    std::ofstream(dir / "table.csv") << "IMEI,RVKPN/PhoneName1\n"
                                     << sim::SimImei(91) << ",Van 91\n"
                                     << sim::SimImei(92) << ",Van 92\n";
    // Every port's job as it has ended: the port is finished.
    env.onStatus = [this](int port, const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (text == "finished") ++ended_[port];
      changed_.notify_all();
    };
  }
  bool WaitEnded(int port, int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 120s, [&] { return ended_[port] >= count; });
  }
  void Plug(int number) { sims[number] = StartSimulator(dir / "ports", number); }

  TempDir dir;
  Environment env;
  std::map<int, std::unique_ptr<sim::CTrackerSim>> sims;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<int, int> ended_;
};

}  // namespace

TEST_F(WatchTest, ProvisionWatchRunsTrackersAsTheyComeUntilItsInputEndsOrCtrlC) {
  struct Ending {
    const char* name;
    bool ctrlC;
    bool emptyInput;  // standard input ends before its first line: no Next, the watch waits for Ctrl+C
  };
  const Ending endings[] = {{"the input ends", false, false}, {"Ctrl+C", true, false}, {"no input", true, true}};
  for (std::size_t e = 0; e < std::size(endings); ++e) {
    const Ending& ending = endings[e];
    SCOPED_TRACE(ending.name);
    sims.clear();
    ended_.clear();
    CStopSource stop;
    env.stop = &stop;
    // Left alive: a reader still waiting at Ctrl+C returns only at the end of
    // the process. Held by plain globals, which are never destroyed, so that
    // the leak check sees them as reachable.
    auto* typed = new CTypedInput;
    auto* input = new std::istream(typed);
    gKeptInputs[e] = {typed, input};
    env.input = input;
    const std::string report = dir / (std::to_string(e) + ".csv");
    std::ostringstream out, err;
    int code = -1;
    std::thread run([&] {
      code = RunCli({"provision", dir / "fleet.ini", "--table", dir / "table.csv", "-p", "91,92", "--watch",
                     "--pacing", "fast", "--journal", dir / (std::string(ending.name) + ".sqlite"), "--report",
                     report},
                    out, err, env);
    });
    if (ending.emptyInput) typed->Close();
    // Both ports absent at start: each tracker starts when it is plugged in.
    Plug(91);
    ASSERT_TRUE(WaitEnded(91, 1));
    Plug(92);
    ASSERT_TRUE(WaitEnded(92, 1));
    if (!ending.emptyInput) {
      typed->Type("\n");  // the next tracker on both ports: done ones are skipped
      ASSERT_TRUE(WaitEnded(91, 2));
      ASSERT_TRUE(WaitEnded(92, 2));
    }
    if (ending.ctrlC)
      stop.Request();
    else
      typed->Close();
    run.join();
    typed->Close();
    // All done: status 0, and the Ctrl+C that ends the watch is no failure.
    EXPECT_EQ(code, 0) << err.str();
    for (const char* line : {"rv450-cli: COM91 provision: ", "rv450-cli: COM92 provision: "})
      EXPECT_NE(err.str().find(line), std::string::npos) << line << "\n" << err.str();
    std::ifstream rows(report);
    const std::string text((std::istreambuf_iterator<char>(rows)), std::istreambuf_iterator<char>());
    // The header and a row per job: two trackers, each twice where a line asked for the next.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), ending.emptyInput ? 3 : 5) << text;
    EXPECT_NE(text.find(",equal,"), std::string::npos) << text;
    EXPECT_EQ(text.find(",skipped,") != std::string::npos, !ending.emptyInput) << text;
    EXPECT_EQ(err.str().find("standard input is empty: the watch runs until Ctrl+C") != std::string::npos,
              ending.emptyInput)
        << err.str();
    EXPECT_NE(out.str().find("COM92"), std::string::npos) << out.str();
  }
}
