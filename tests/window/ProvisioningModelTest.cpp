// The Provisioning window's rows without a widget: the test thread plays the
// window thread, applying what the jobs report as the window would, against
// a simulated tracker on a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>

#include "../support/SimSupport.h"
#include "journal/JournalListing.h"
#include "window/PortsInUse.h"
#include "window/ProvisioningModel.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

constexpr int kCom = 41;

struct Case {
  const char* name;
  ProvisioningAction action;
  const char* faultPrefix;  // null: none
  const char* badValue;     // null: the template as it is; else a line that replaces the first "ServerPort="
  // What the row comes to.
  bool refused;
  RowState state;
  const char* outcome;
  const char* resultHas;
  const char* stateSeen;  // a state the row showed on the way
};

const Case kCases[] = {
    {"identify", ProvisioningAction::Identify, nullptr, nullptr, false, RowState::Done, "ok", "ok",
     "identifying"},
    {"verify", ProvisioningAction::Verify, nullptr, nullptr, false, RowState::Done, "equal", "keys compared",
     "writing RVSRI 1 of "},
    {"provision", ProvisioningAction::Provision, nullptr, nullptr, false, RowState::Done, "equal",
     "keys compared", "verifying"},
    {"refused line", ProvisioningAction::Verify, "AT+RVTRI=", nullptr, false, RowState::Failed,
     "tracker-failed", "Send AT+RVTRI Fail", "writing RVTRI "},
    {"read", ProvisioningAction::ReadToFiles, nullptr, nullptr, false, RowState::Done, "ok", "into",
     "reading RV"},
    {"rule broken", ProvisioningAction::Verify, nullptr, "ServerPort=70000", true, RowState::Idle, "", "",
     "idle"},
};

class ProvisioningModelTest : public SimulatorTest {
 protected:
  ProvisioningModelTest() : SimulatorTest(kCom) {}
  void SetUp() override {
    SimulatorTest::SetUp();
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    ::unsetenv("RV450_JOURNAL");
    WriteFile(dir / "MainSetting.ini", "[Main]\nGenPassword=5830\nComPort=0\nBaudrate=1\nPacing=fast\n");
  }
  // The tests after this one keep the data folder the run had.
  void TearDown() override {
    if (runData) ::setenv("XDG_DATA_HOME", runData->c_str(), 1);
    else ::unsetenv("XDG_DATA_HOME");
  }
  const std::optional<std::string> runData =
      std::getenv("XDG_DATA_HOME") ? std::optional<std::string>(std::getenv("XDG_DATA_HOME")) : std::nullopt;

  // Applies the jobs' reports (and the preparation's answer) as they come until `condition` holds.
  void DeliverUntil(CProvisioningModel& model, const std::function<bool()>& condition) {
    while (!condition()) {
      std::unique_lock<std::mutex> lock(mutex_);
      woken_.wait(lock, [&] { return pending_; });
      pending_ = false;
      lock.unlock();
      model.Deliver();
    }
  }
  // Until no job runs and no start is being prepared.
  void WaitUntilIdle(CProvisioningModel& model) {
    DeliverUntil(model, [&] { return !model.Busy(); });
  }
  void Listen(CProvisioningModel& model) {
    model.wake = [this] {
      std::lock_guard<std::mutex> lock(mutex_);
      pending_ = true;
      woken_.notify_all();
    };
  }

  std::mutex mutex_;
  std::condition_variable woken_;
  bool pending_ = false;
};

TEST_F(ProvisioningModelTest, EachActionEndsItsRowAsTheCommandLineEndsThePort) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    sim_->ClearFaults();
    sim_->ClearReceived();
    if (c.faultPrefix) sim_->SetFault(c.faultPrefix, sim::Fault::Error);
    std::string text = ReadFile(KESTRUN_TEST_DATA "/fresh-config.ini");
    if (c.badValue) text.replace(text.find("ServerPort="), 11, c.badValue);
    WriteFile(dir / "template.ini", text);
    WriteFile(dir / "table.csv", "IMEI,RVSRI/APN\n" + sim::SimImei(kCom) + ",apn.example\n");
    std::filesystem::create_directories(dir / "out");
    std::filesystem::create_directories(dir / "logs");

    // The settings in the working folder, the traffic logs in a log folder of their own.
    CProvisioningModel model(Discovery(), dir.path(), dir / "logs");
    Listen(model);
    ASSERT_EQ(model.rows().size(), 1u);
    std::vector<std::string> seen;
    std::vector<int> bar;  // the percent the running row showed, in order
    model.rowChanged = [&](std::size_t row) {
      seen.push_back(model.rows()[row].stateText);
      if (model.rows()[row].running) bar.push_back(model.rows()[row].percent);
    };
    model.SetChecked(0, true);
    std::string error;
    bool started = false, held = false;
    model.prepared = [&](const PreparedStart& p) {
      started = p.started;
      error = p.error;
      held = PortBusyReason(kCom).find("Provisioning window") != std::string::npos;
    };
    ASSERT_TRUE(model.Start(c.action, {dir / "template.ini", dir / "table.csv", dir / "out"}, error)) << error;
    WaitUntilIdle(model);
    ASSERT_EQ(started, !c.refused) << error;
    EXPECT_EQ(held, started);

    const ProvisioningRow& row = model.rows()[0];
    EXPECT_EQ(row.state, c.state);
    EXPECT_EQ(row.outcome, c.outcome);
    EXPECT_NE(row.result.find(c.resultHas), std::string::npos) << row.result;
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(),
                            [&](const std::string& s) { return s.rfind(c.stateSeen, 0) == 0; }) ||
                (c.refused && row.stateText == c.stateSeen));
    EXPECT_TRUE(PortBusyReason(kCom).empty());
    // Identity, write and read-back fill fixed shares: the bar never goes back.
    EXPECT_TRUE(std::is_sorted(bar.begin(), bar.end()));
    if (c.refused) {
      EXPECT_NE(error.find("breaks the form's rules; nothing was sent"), std::string::npos) << error;
      EXPECT_TRUE(sim_->ReceivedLines().empty());
      continue;
    }
    EXPECT_EQ(row.imei, sim::SimImei(kCom));
    EXPECT_EQ(row.iccid, sim::SimIccid(kCom));
    EXPECT_TRUE(PortIsFree());
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / ("logs/AtLog-COM" + std::to_string(kCom) + ".log")));
    EXPECT_FALSE(std::filesystem::exists(dir / ("AtLog-COM" + std::to_string(kCom) + ".log")));
    if (c.action == ProvisioningAction::ReadToFiles) {
      EXPECT_EQ(row.file, dir / ("out/rv450-" + sim::SimImei(kCom) + ".ini"));
      EXPECT_TRUE(std::filesystem::is_regular_file(row.file));
    }
    // The row went to the journal rv450-cli keeps.
    journal::ListingRequest request;
    request.target = model.JournalTarget();
    request.query.imei = sim::SimImei(kCom);
    request.query.outcome = c.outcome;
    request.query.limit = 1;
    journal::Listing listing;
    ASSERT_TRUE(journal::ReadListing(request, listing, error)) << error;
    const std::vector<journal::JournalRow>& rows = listing.rows;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].program, "rv450-kestrun");
    EXPECT_EQ(rows[0].port, "COM" + std::to_string(kCom));
  }
}

TEST_F(ProvisioningModelTest, StopAndTheModelsEndEachStopTheJobAndCloseThePort) {
  sim_->SetAnswerDelay(300);
  CProvisioningModel model(Discovery(), dir.path());
  Listen(model);
  model.SetChecked(0, true);
  std::string error;
  ASSERT_TRUE(model.Start(ProvisioningAction::ReadToFiles, {"", "", dir.path()}, error)) << error;
  DeliverUntil(model, [&] { return model.rows()[0].running; });
  // A second click while the ticked port runs says so, not that nothing is ticked.
  EXPECT_FALSE(model.Start(ProvisioningAction::ReadToFiles, {"", "", dir.path()}, error));
  EXPECT_EQ(error, "every ticked port is busy or gone");
  model.Stop();
  WaitUntilIdle(model);
  EXPECT_EQ(model.rows()[0].state, RowState::Stopped);
  EXPECT_EQ(model.rows()[0].stateText, "stopped");
  EXPECT_EQ(model.rows()[0].result.rfind("stopped during ", 0), 0u) << model.rows()[0].result;
  EXPECT_EQ(model.rows()[0].outcome, "stopped");
  EXPECT_TRUE(PortIsFree());
  EXPECT_TRUE(PortBusyReason(kCom).empty());

  // Gone mid-batch (the window closed): every job stopped, every port closed.
  {
    CProvisioningModel closing(Discovery(), dir.path());
    Listen(closing);
    closing.SetChecked(0, true);
    ASSERT_TRUE(closing.Start(ProvisioningAction::Identify, {}, error)) << error;
    DeliverUntil(closing, [&] { return closing.rows()[0].running; });
  }
  EXPECT_TRUE(PortIsFree());
  EXPECT_TRUE(PortBusyReason(kCom).empty());
}

// A start's preparation runs off the window thread and its answer is taken
// in Deliver: Stop, Stop Selected or Shutdown before that drops it, a refusal comes as the
// message the click would have shown, and a second start meanwhile is ignored.
TEST_F(ProvisioningModelTest, AStartsPreparationAnswersInDeliverAndStopDropsIt) {
  enum Then { Nothing, Stop, StopRow, Shutdown, SecondStart, Untick };
  struct PrepCase {
    const char* name;
    ProvisioningAction action;  // with no template chosen
    Then then;                  // done while the preparation is under way
    bool started;
    const char* error;
    RowState state;
    bool aboutChoices = false;  // a changed choice may remove the error (the window checks it again)
  };
  const PrepCase cases[] = {
      {"Stop drops it", ProvisioningAction::Identify, Stop, false, "", RowState::Idle},
      {"Stop Selected drops it", ProvisioningAction::Identify, StopRow, false, "", RowState::Idle},
      {"Shutdown drops it", ProvisioningAction::Identify, Shutdown, false, "", RowState::Idle},
      {"refused", ProvisioningAction::Provision, Nothing, false, "no template config file chosen",
       RowState::Idle, true},
      {"a second start is ignored", ProvisioningAction::Identify, SecondStart, true, "", RowState::Done},
      {"unticked meanwhile: refused for the ports, not the choices", ProvisioningAction::Identify, Untick,
       false, "no port is ticked", RowState::Idle},
  };
  for (const PrepCase& c : cases) {
    SCOPED_TRACE(c.name);
    sim_->ClearReceived();
    pending_ = false;
    CProvisioningModel model(Discovery(), dir.path());
    Listen(model);
    std::vector<PreparedStart> answers;
    model.prepared = [&](const PreparedStart& p) { answers.push_back(p); };
    model.SetChecked(0, true);
    std::string error, second;
    ASSERT_TRUE(model.Start(c.action, {}, error)) << error;
    EXPECT_TRUE(model.Busy());
    if (c.then == Stop) model.Stop();
    if (c.then == StopRow) model.StopRows({0});
    if (c.then == Shutdown) model.Shutdown();
    if (c.then == Untick) model.SetChecked(0, false);
    if (c.then == SecondStart) {
      EXPECT_FALSE(model.Start(c.action, {}, second));
      EXPECT_EQ(second, "");
    }
    WaitUntilIdle(model);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].started, c.started);
    EXPECT_EQ(answers[0].error, c.error);
    EXPECT_EQ(answers[0].aboutChoices, c.aboutChoices);
    EXPECT_EQ(model.rows()[0].state, c.state);
    EXPECT_EQ(sim_->ReceivedLines().empty(), !c.started);
    EXPECT_TRUE(PortIsFree());
  }
}

TEST_F(ProvisioningModelTest, APluggedTrackerGainsARowAndAnUnpluggedOneLosesIt) {
  CProvisioningModel model(Discovery(), dir.path());
  int resets = 0;
  model.rowsReset = [&] { ++resets; };
  EXPECT_FALSE(model.RefreshPorts());
  {
    auto plugged = StartSimulator(PortsDir(), kCom + 1);
    EXPECT_TRUE(model.RefreshPorts());
    ASSERT_EQ(model.rows().size(), 2u);
    EXPECT_EQ(model.rows()[1].port, kCom + 1);
    EXPECT_EQ(model.rows()[1].stateText, "idle");
  }
  EXPECT_TRUE(model.RefreshPorts());
  ASSERT_EQ(model.rows().size(), 1u);
  EXPECT_EQ(model.rows()[0].port, kCom);
  EXPECT_EQ(resets, 2);
}

}  // namespace
