// Station mode against simulated trackers that are plugged in and pulled out
// while the station runs: each job starts by itself, a finished tracker whose
// port stays hears nothing until Next, a port without a tracker gets no
// journal row, and Stop ends a running job as stopped.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <map>
#include <optional>
#include <thread>

#include "../cli/CliSupport.h"
#include "../support/SimSupport.h"
#include "batch/PrepareBatch.h"
#include "batch/Station.h"
#include "journal/JournalStore.h"

using namespace kestrun;
using namespace kestrun::batch;
using namespace kestrun::testing;
using namespace std::chrono_literals;

namespace {

// What the front end hears: every report as its job ends.
class CFrontEnd final : public IStationEvents, public IJobProgress {
 public:
  struct Ended {
    PortReport report;
    bool tracker;
  };
  void StateChanged(int, StationState, const std::string&) override {}
  void JobEnded(const PortReport& report, bool tracker) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_.push_back({report, tracker});
    changed_.notify_all();
  }
  void Update(std::size_t, const std::string&) override {}
  // The report that ends the `count`th job on `port`, once it has ended.
  std::optional<Ended> WaitFor(int port, std::size_t count, std::chrono::seconds deadline = 120s) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::optional<Ended> found;
    changed_.wait_for(lock, deadline, [&] {
      std::size_t n = 0;
      for (const Ended& e : ended_)
        if (e.report.port == port && ++n == count) found = e;
      return found.has_value();
    });
    return found;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Ended> ended_;
};

// Until `condition` holds or `deadline` passes; whether it held.
bool Eventually(const std::function<bool()>& condition, std::chrono::seconds deadline = 120s) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

class StationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteConfig(dir / "fleet.ini", FullValues());
    std::ofstream(dir / "table.csv") << "IMEI,RVKPN/PhoneName1\n"
                                     << sim::SimImei(81) << ",Truck 81\n"
                                     << sim::SimImei(82) << ",Truck 82\n"
                                     << sim::SimImei(84) << ",Truck 84\n";
    std::string error;
    ASSERT_TRUE(store.Open(dir / "journal.sqlite", dir / "outbox.sqlite", error)) << error;
    ProvisionRequest request;
    request.templatePath = dir / "fleet.ini";
    request.tablePath = dir / "table.csv";
    Refusal refusal;
    ASSERT_TRUE(PrepareTable(request, plan, refusal)) << refusal.message;
    plan.provision->store = &store;
    plan.connection.pacing = CPacing::Fast();
    plan.connection.discovery = OnlyPortsFolder(dir / "ports");
    // The front end records each tracker's row, as rv450-cli and the window do.
    plan.onFinished = [this](PortReport& report) {
      journal::JournalRow row = JournalRowFor(report, plan);
      std::string why;
      EXPECT_TRUE(store.Append(row, why)) << why;
      std::lock_guard<std::mutex> lock(recordedMutex);
      ++recorded[report.port];
    };
  }
  // A tracker plugged into COM `number`, with `fault` on lines starting with `prefix`.
  void Plug(int number, const std::string& prefix = "", sim::Fault fault = sim::Fault::None) {
    sims.erase(number);
    sims[number] = StartSimulator(dir / "ports", number, prefix, fault);
  }
  bool Took(int port, const std::string& prefix) {
    for (const std::string& line : sims[port]->ReceivedLines())
      if (line.rfind(prefix, 0) == 0) return true;
    return false;
  }
  std::vector<std::string> TookGroups(int port) {
    std::vector<std::string> groups;
    for (const std::string& line : sims[port]->ReceivedLines()) {
      const std::size_t eq = line.find('=');
      if (line.rfind("AT+RV", 0) != 0 || eq == std::string::npos) continue;
      const std::string group = line.substr(3, eq - 3);
      if (groups.empty() || groups.back() != group) groups.push_back(group);
    }
    return groups;
  }
  std::string Present(int port) {
    ++checks;
    for (const PortEntry& p : DiscoverPorts(plan.connection.discovery))
      if (p.number == port) return p.devicePath;
    return "";
  }

  TempDir dir;
  journal::CJournalStore store;
  JobPlan plan;
  std::map<int, std::unique_ptr<sim::CTrackerSim>> sims;
  // Journal rows per port: counted on the jobs' threads, read by the test.
  int Recorded(int port) {
    std::lock_guard<std::mutex> lock(recordedMutex);
    return recorded[port];
  }
  std::mutex recordedMutex;
  std::map<int, int> recorded;
  std::atomic<int> checks{0};
};

}  // namespace

TEST_F(StationTest, TrackersThatComeAndGoAreProvisionedAsTheyArrive) {
  CFrontEnd front;
  std::unique_ptr<CStation> station = std::make_unique<CStation>(
      plan, std::vector<StationPort>{{81, ""}, {82, ""}, {83, ""}, {84, ""}},
      [this](int port) { return Present(port); }, front, front);
  station->Start(20ms);
  const std::vector<std::string> all = GroupNamesOf(plan.sendGroups);
  struct Step {
    const char* name;
    std::function<void()> act;
    int port;
    std::string outcome;
    // The groups the report says the tracker took; none: those whose lines
    // the simulator received.
    std::optional<std::vector<std::string>> groups;
    bool tracker;                     // something answered: a journal row
    std::string message;              // how the message starts
  };
  const std::vector<Step> steps = {
      {"plugged in: provisioned without a call", [&] { Plug(81); }, 81, "equal", all, true, ""},
      {"Next on a done tracker whose port stayed: not written twice",
       [&] { EXPECT_TRUE(station->Next(81)); }, 81, "skipped", std::vector<std::string>{}, true,
       "already done at "},
      {"unplugged mid-write: failed with the groups it took",
       [&] { Plug(82, "AT+RVTRI=", sim::Fault::Vanish); }, 82, "tracker-failed", std::vector<std::string>{"RVSRI", "RVBEI"}, true, ""},
      {"plugged back in: provisioned again", [&] {
         ASSERT_TRUE(Eventually([&] { return station->State(82) == StationState::Waiting; }));
         Plug(82);
       },
       82, "equal", all, true, ""},
      {"a port whose device answers nothing: no journal row",
       [&] { Plug(83, "*", sim::Fault::Silent); }, 83, "tracker-failed", std::vector<std::string>{}, false, ""},
      {"stopped mid-write: stopped, with the groups it took", [&] {
         Plug(84);
         sims[84]->SetAnswerDelay(100);
         ASSERT_TRUE(Eventually([&] { return Took(84, "AT+RVBEI="); }));
         station->Stop();
       },
       84, "stopped", std::nullopt, true, ""},
  };
  std::map<int, std::size_t> jobs;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    const int before = Recorded(step.port);
    step.act();
    const auto ended = front.WaitFor(step.port, ++jobs[step.port]);
    ASSERT_TRUE(ended.has_value());
    const PortReport& r = ended->report;
    EXPECT_EQ(r.outcome, step.outcome) << r.message << " " << r.detail;
    EXPECT_EQ(r.groupsSent, step.groups ? *step.groups : TookGroups(step.port));
    EXPECT_EQ(r.message.rfind(step.message, 0), 0u) << r.message;
    EXPECT_EQ(ended->tracker, step.tracker);
    EXPECT_EQ(Recorded(step.port), before + (step.tracker ? 1 : 0));
    if (step.outcome == "equal" || step.outcome == "skipped") {
      EXPECT_EQ(Took(step.port, "AT+RVKPN="), step.outcome == "equal") << "written (twice)";
    }
    if (step.port == 81 && step.outcome == "equal") {
      // Finished, its device stays: a dozen checks later it has heard nothing.
      sims[81]->ClearReceived();
      const int seen = checks;
      ASSERT_TRUE(Eventually([&] { return checks > seen + 12 * 4; }));
      EXPECT_TRUE(sims[81]->ReceivedLines().empty());
      EXPECT_EQ(station->State(81), StationState::Finished);
    }
  }
  // Each port ran only the jobs above: nothing started after Stop.
  for (const auto& [port, count] : jobs) EXPECT_FALSE(front.WaitFor(port, count + 1, 0s)) << port;
}

TEST_F(StationTest, TheNextTrackerAskedForJustBeforeTheInputEndsStillRuns) {
  CFrontEnd front;
  CStation station(plan, {{81, ""}}, [this](int port) { return Present(port); }, front, front);
  Plug(81);
  station.Start(20ms);
  ASSERT_TRUE(front.WaitFor(81, 1).has_value());
  ASSERT_TRUE(Eventually([&] { return station.State(81) == StationState::Finished; }));
  ASSERT_EQ(station.NextAll(), 1);
  station.Drain();  // at once, as when a line and the end of the input come together
  const auto next = front.WaitFor(81, 2, 0s);
  ASSERT_TRUE(next.has_value());
  EXPECT_EQ(next->report.outcome, "skipped");
}
