// Station mode against simulated trackers that are plugged in and pulled out
// while the station runs: each job starts by itself, a finished tracker whose
// port stays hears nothing until Next, a port without a tracker gets no
// journal row, and Stop ends a running job as stopped.
#include <gtest/gtest.h>

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

// Until `condition` holds (polled) or two minutes pass; whether it held.
bool Eventually(const std::function<bool()>& condition) {
  for (const auto end = std::chrono::steady_clock::now() + 120s; !condition();
       std::this_thread::sleep_for(10ms))
    if (std::chrono::steady_clock::now() > end) return false;
  return true;
}

// The fixture is the front end: it hears every report as its job ends, and
// records a journal row for each tracker, as rv450-cli and the window do.
class StationTest : public ::testing::Test, public IStationEvents, public IJobProgress {
 protected:
  void SetUp() override {
    WriteConfig(dir / "fleet.ini", FullValues());
    std::ofstream table(dir / "table.csv");
    table << "IMEI,RVKPN/PhoneName1\n";
    for (int n : {81, 82, 84}) table << sim::SimImei(n) << ",Truck " << n << "\n";
    table.close();
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
    plan.onFinished = [this](PortReport& report) {
      journal::JournalRow row = JournalRowFor(report, plan);
      std::string why;
      EXPECT_TRUE(store.Append(row, why)) << why;
      std::lock_guard<std::mutex> lock(mutex);
      ++recorded[report.port];
    };
  }
  void StateChanged(int, StationState, const std::string&) override {}
  void Update(std::size_t, const std::string&) override {}
  void JobEnded(const PortReport& report, bool tracker) override {
    std::lock_guard<std::mutex> lock(mutex);
    ended[report.port].push_back({report, tracker});
    changed.notify_all();
  }
  // The report that ends the `count`th job on `port`, and whether something answered, once it has ended.
  std::optional<std::pair<PortReport, bool>> WaitFor(int port, std::size_t count,
                                                     std::chrono::seconds deadline = 120s) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!changed.wait_for(lock, deadline, [&] { return ended[port].size() >= count; })) return std::nullopt;
    return ended[port][count - 1];
  }
  int Recorded(int port) {
    std::lock_guard<std::mutex> lock(mutex);
    return recorded[port];
  }
  // A station on `ports`: a port is there when the ports folder lists it.
  std::unique_ptr<CStation> Station(std::vector<StationPort> ports) {
    const auto present = [this](int port) {
      for (const PortEntry& p : DiscoverPorts(plan.connection.discovery))
        if (p.number == port) return p.devicePath;
      return std::string();
    };
    return std::make_unique<CStation>(plan, std::move(ports), present, *this, *this);
  }
  // A tracker plugged into COM `number`, with `fault` on lines starting with `prefix`.
  void Plug(int number, const std::string& prefix = "", sim::Fault fault = sim::Fault::None) {
    sims.erase(number);
    sims[number] = StartSimulator(dir / "ports", number, prefix, fault);
  }
  // The groups whose lines the tracker on `port` received, in order.
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

  TempDir dir;
  journal::CJournalStore store;
  JobPlan plan;
  std::map<int, std::unique_ptr<sim::CTrackerSim>> sims;
  // Counted on the jobs' threads, read by the test.
  std::mutex mutex;
  std::condition_variable changed;
  std::map<int, std::vector<std::pair<PortReport, bool>>> ended;
  std::map<int, int> recorded;  // journal rows per port
};

}  // namespace

TEST_F(StationTest, TrackersThatComeAndGoAreProvisionedAsTheyArrive) {
  const std::unique_ptr<CStation> station = Station({{81, ""}, {82, ""}, {83, ""}, {84, ""}});
  station->Start(20ms);
  using Groups = std::vector<std::string>;
  const Groups all = GroupNamesOf(plan.sendGroups);
  struct Step {
    const char* name;
    std::function<void()> act;
    int port;
    std::string outcome;
    std::optional<Groups> groups;  // the groups the report says the tracker took, if known
    bool tracker;                  // something answered: a journal row
    std::string message;           // how the message starts
  };
  const std::vector<Step> steps = {
      {"plugged in: provisioned without a call", [&] { Plug(81); }, 81, "equal", all, true, ""},
      {"Next on a done tracker whose port stayed: not written twice", [&] { EXPECT_TRUE(station->Next(81)); },
       81, "skipped", Groups{}, true, "already done at "},
      {"unplugged mid-write: failed with the groups it took",
       [&] { Plug(82, "AT+RVTRI=", sim::Fault::Vanish); }, 82, "tracker-failed", Groups{"RVSRI", "RVBEI"},
       true, ""},
      {"plugged back in: provisioned again",
       [&] {
         ASSERT_TRUE(Eventually([&] { return station->State(82) == StationState::Waiting; }));
         Plug(82);
       },
       82, "equal", all, true, ""},
      {"a port whose device answers nothing: no journal row", [&] { Plug(83, "*", sim::Fault::Silent); }, 83,
       "tracker-failed", Groups{}, false, ""},
      {"stopped mid-write: stopped, with the groups it took",
       [&] {
         Plug(84);
         sims[84]->SetAnswerDelay(100);
         ASSERT_TRUE(Eventually([&] { return TookGroups(84).size() > 1; }));  // into RVBEI
         station->Stop();
       },
       84, "stopped", std::nullopt, true, ""},
  };
  std::map<int, std::size_t> jobs;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    const int before = Recorded(step.port);
    step.act();
    const auto end = WaitFor(step.port, ++jobs[step.port]);
    ASSERT_TRUE(end.has_value());
    const PortReport& r = end->first;
    EXPECT_EQ(r.outcome, step.outcome) << r.message << " " << r.detail;
    EXPECT_EQ(r.groupsSent, step.groups.value_or(r.groupsSent));
    // Taken is what the tracker received (a done one's port hears nothing twice); one that vanished
    // lost its last line.
    if (step.outcome != "tracker-failed") {
      EXPECT_EQ(TookGroups(step.port), r.groupsSent);
    }
    EXPECT_EQ(r.message.rfind(step.message, 0), 0u) << r.message;
    EXPECT_EQ(end->second, step.tracker);
    EXPECT_EQ(Recorded(step.port), before + (step.tracker ? 1 : 0));
    if (step.port == 81) sims[81]->ClearReceived();
  }
  // The tracker finished on COM81 heard nothing while the other ports' jobs came and went, and each
  // port ran only the jobs above: nothing started by itself on a finished port, nor after Stop.
  EXPECT_TRUE(sims[81]->ReceivedLines().empty());
  for (const auto& [port, count] : jobs) EXPECT_FALSE(WaitFor(port, count + 1, 0s)) << port;
}

TEST_F(StationTest, TheNextTrackerAskedForJustBeforeTheInputEndsStillRuns) {
  const std::unique_ptr<CStation> station = Station({{81, ""}});
  Plug(81);
  station->Start(20ms);
  ASSERT_TRUE(WaitFor(81, 1));
  EXPECT_EQ(station->State(81), StationState::Finished);  // from before its report was handed out
  ASSERT_EQ(station->NextAll(), 1);
  station->Drain();  // at once, as when a line and the end of the input come together
  const auto next = WaitFor(81, 2, 0s);
  ASSERT_TRUE(next.has_value());
  EXPECT_EQ(next->first.outcome, "skipped");
}
