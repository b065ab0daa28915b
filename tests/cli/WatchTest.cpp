// provision --watch in-process against simulated trackers plugged in and
// pulled out while it runs: one line per tracker, the next tracker on a line
// of input, and the closing status whether the input ends or Ctrl+C comes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <condition_variable>
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
    // Every port's "done: ..." as its job ends, and its "waiting" when its device is gone.
    env.onStatus = [this](int port, const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (text.rfind("done: ", 0) == 0) ++ended_[port];
      if (text == "waiting") ++waiting_[port];
      changed_.notify_all();
    };
  }
  bool WaitEnded(int port, int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 120s, [&] { return ended_[port] >= count; });
  }
  bool WaitWaiting(int port, int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 120s, [&] { return waiting_[port] >= count; });
  }
  void Plug(int number, const std::string& prefix = "", sim::Fault fault = sim::Fault::None) {
    sims.erase(number);
    sim::SimOptions options;
    options.portsDir = dir / "ports";
    options.comNumber = number;
    auto simulator = std::make_unique<sim::CTrackerSim>(options);
    if (fault != sim::Fault::None) simulator->SetFault(prefix, fault);
    std::string error;
    ASSERT_TRUE(simulator->Start(error)) << error;
    sims[number] = std::move(simulator);
  }
  bool TookSetting(int port) {
    for (const std::string& line : sims[port]->ReceivedLines())
      if (line.rfind("AT+RVKPN=", 0) == 0) return true;
    return false;
  }

  TempDir dir;
  Environment env;
  std::map<int, std::unique_ptr<sim::CTrackerSim>> sims;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<int, int> ended_, waiting_;
};

}  // namespace

TEST_F(WatchTest, ProvisionWatchRunsTrackersAsTheyComeUntilItsInputEndsOrCtrlC) {
  struct Ending {
    const char* name;
    bool ctrlC;
  };
  for (const Ending ending : {Ending{"the input ends", false}, Ending{"Ctrl+C", true}}) {
    SCOPED_TRACE(ending.name);
    sims.clear();
    ended_.clear();
    waiting_.clear();
    CStopSource stop;
    env.stop = &stop;
    // Left alive: a reader still waiting at Ctrl+C returns only at the end of the process.
    auto* typed = new CTypedInput;
    auto* input = new std::istream(typed);
    env.input = input;
    const std::string report = dir / (std::string(ending.ctrlC ? "stopped" : "ended") + ".csv");
    std::ostringstream out, err;
    int code = -1;
    std::thread run([&] {
      code = RunCli({"provision", dir / "fleet.ini", "--table", dir / "table.csv", "-p", "91,92", "--watch",
                     "--pacing", "fast", "--journal", dir / (std::string(ending.name) + ".sqlite"), "--report",
                     report},
                    out, err, env);
    });
    // Both ports absent at start: each tracker starts when it is plugged in.
    Plug(91);
    ASSERT_TRUE(WaitEnded(91, 1));
    EXPECT_TRUE(TookSetting(91));
    sims[91]->ClearReceived();
    Plug(92, "AT+RVTRI=", sim::Fault::Vanish);  // pulled out mid-write
    ASSERT_TRUE(WaitEnded(92, 1));
    // All the while 91's device stayed: it heard nothing until the next line.
    EXPECT_TRUE(sims[91]->ReceivedLines().empty());
    typed->Type("\n");
    ASSERT_TRUE(WaitEnded(91, 2));
    EXPECT_FALSE(TookSetting(91)) << "done trackers are not written twice";
    ASSERT_TRUE(WaitWaiting(92, 2));  // at start, and once its device went
    Plug(92);                          // plugged back in: provisioned again
    ASSERT_TRUE(WaitEnded(92, 2));
    EXPECT_TRUE(TookSetting(92));
    if (ending.ctrlC)
      stop.Request();
    else
      typed->Close();
    run.join();
    typed->Close();
    // The failed first try of 92 is the highest status; Ctrl+C adds none.
    EXPECT_EQ(code, 4) << err.str();
    for (const char* line : {"rv450-cli: COM91 provision: ", "rv450-cli: COM92 provision: tracker failed"})
      EXPECT_NE(err.str().find(line), std::string::npos) << line << "\n" << err.str();
    std::ifstream rows(report);
    const std::string text((std::istreambuf_iterator<char>(rows)), std::istreambuf_iterator<char>());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5) << text;  // the header and four trackers
    for (const char* outcome : {",equal,", ",skipped,", ",tracker-failed,"})
      EXPECT_NE(text.find(outcome), std::string::npos) << outcome << "\n" << text;
    EXPECT_NE(out.str().find("COM92"), std::string::npos) << out.str();
  }
}
