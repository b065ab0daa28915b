// The Provisioning window's station mode without a widget, against simulated
// trackers plugged in and pulled out while it runs (what the station itself
// does is batch/StationTest's): each ticked port starts by itself, a tracker
// pulled out mid-write leaves its story on the row, the row stays ticked and
// provisions the tracker again when it returns, a finished tracker whose port
// stays hears nothing until Next Tracker, a port without a tracker gets no
// journal row and no place in the summary, and Stop leaves a row stopped. And
// the summary of a batch that Retry mends.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>

#include "../support/ProvisioningFolder.h"
#include "journal/JournalListing.h"
#include "window/ProvisioningModel.h"
#include "window/ProvisioningSummary.h"

using namespace kestrun;
using namespace kestrun::testing;
using namespace std::chrono_literals;

namespace {

class ProvisioningStationTest : public ::testing::Test, protected CProvisioningFolder {
 protected:
  ProvisioningStationTest() : CProvisioningFolder({61, 62, 63, 64}) {}
  void Listen(CProvisioningModel& model) {
    model.wake = [this] {
      std::lock_guard<std::mutex> lock(mutex);
      pending = true;
      woken.notify_all();
    };
  }
  // Applies what the stations report, as the window does, until `condition`
  // holds; false when it did not within the deadline.
  bool Until(CProvisioningModel& model, const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    model.Deliver();
    while (!condition()) {
      std::unique_lock<std::mutex> lock(mutex);
      if (!woken.wait_until(lock, deadline, [&] { return pending; })) return false;
      pending = false;
      lock.unlock();
      model.Deliver();
    }
    return true;
  }
  int JournalRowsOf(CProvisioningModel& model, int port) {
    journal::ListingRequest request;
    request.target = model.JournalTarget();
    journal::Listing listing;
    std::string error;
    EXPECT_TRUE(journal::ReadListing(request, listing, error)) << error;
    int n = 0;
    for (const journal::JournalRow& r : listing.rows) n += r.port == "COM" + std::to_string(port) ? 1 : 0;
    return n;
  }

  std::mutex mutex;
  std::condition_variable woken;
  bool pending = false;
};

TEST_F(ProvisioningStationTest, TrackersThatComeAndGoAreProvisionedAndTheirRowsKeepTheirStory) {
  Plug(61);
  Plug(62, "AT+RVTRI=", sim::Fault::Vanish);
  Plug(63);
  Plug(64, "AT", sim::Fault::Silent);  // an adapter without a tracker
  CProvisioningModel model(Ports(), dir.path());
  Listen(model);
  ASSERT_EQ(model.rows().size(), 4u);
  // The rows in the order of their COM numbers.
  const auto index = [](int port) { return static_cast<std::size_t>(port - 61); };
  const auto row = [&](int port) -> const ProvisioningRow& { return model.rows()[index(port)]; };
  for (int port : {61, 62, 64}) model.SetChecked(index(port), true);
  std::string error;
  ASSERT_TRUE(model.StartStation(ProvisioningAction::Provision, {dir / "template.ini", dir / "table.csv", ""}, error))
      << error;
  ASSERT_TRUE(Until(model, [&] { return model.StationOn(); }));  // once its preparation answered
  // The percent each port's bar showed, in order.
  std::map<int, std::vector<int>> bars;
  model.rowChanged = [&](std::size_t i) {
    const ProvisioningRow& r = model.rows()[i];
    if (r.running) bars[r.port].push_back(r.percent);
  };

  struct Step {
    const char* name;
    std::function<void()> act;
    int port;             // the row the step waits for: its job ended
    RowState state;       // and its state then
    const char* outcome;
    const char* resultStart;  // how the row's result starts
    int journalRows;          // the port's journal rows by then
  };
  const Step steps[] = {
      {"plugged in before: provisioned without a click", [] {}, 61, RowState::Done, "equal", "equal", 1},
      {"pulled out mid-write: failed, with the groups it took", [] {}, 62, RowState::Failed, "tracker-failed",
       "failed: gone during writing RVTRI ", 1},
      {"no tracker on the port: no journal row", [] {}, 64, RowState::Failed, "tracker-failed", "", 0},
      {"plugged back in: provisioned again", [&] { Plug(62); }, 62, RowState::Done, "equal", "equal", 2},
      {"Next Tracker on a port that stayed: not written twice",
       [&] { EXPECT_TRUE(model.NextTracker(index(61))); }, 61, RowState::Done, "skipped", "already done at ", 2},
      {"ticked later: starts, and Stop leaves it stopped",
       [&] {
         sims[63]->SetAnswerDelay(150);
         model.SetChecked(index(63), true);
         ASSERT_TRUE(Until(model, [&] { return row(63).running && !row(63).imei.empty(); }));
         model.StopRows({index(63)});
       },
       63, RowState::Stopped, "stopped", "stopped during ", 1},
  };
  std::map<int, int> ended, jobsEnded;
  model.rowFinished = [&](const ProvisioningRow& r) { ++jobsEnded[r.port]; };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    // Nothing reaches a finished tracker whose port stays while the others run.
    if (row(61).finished) sims[61]->ClearReceived();
    const bool quiet61 = row(61).finished && s.port != 61;
    const int before = ++ended[s.port];
    s.act();
    ASSERT_TRUE(Until(model, [&] { return jobsEnded[s.port] >= before; }));
    const ProvisioningRow& r = row(s.port);
    EXPECT_EQ(r.state, s.state);
    EXPECT_EQ(r.outcome, s.outcome);
    EXPECT_EQ(r.result.rfind(s.resultStart, 0), 0u) << r.result;
    EXPECT_TRUE(r.checked);
    EXPECT_EQ(JournalRowsOf(model, s.port), s.journalRows);
    // While its tracker is away, reading the port list again keeps the row's story.
    if (r.state == RowState::Failed && r.port == 62) {
      const std::string story = r.result;
      model.RefreshPorts();
      EXPECT_FALSE(row(62).present);
      EXPECT_TRUE(row(62).checked);
      EXPECT_EQ(row(62).result, story);
    }
    EXPECT_TRUE(!quiet61 || sims[61]->ReceivedLines().empty());
    // The bar never went back during the job.
    EXPECT_TRUE(std::is_sorted(bars[s.port].begin(), bars[s.port].end()));
    bars[s.port].clear();
  }
  // The whole text of the skipped tracker is in its tooltip.
  EXPECT_NE(row(61).hint.find("skipped (IMEI " + sim::SimImei(61)), std::string::npos) << row(61).hint;
  // Each tracker once, as its row shows it: COM62's failure was mended; COM64 had no tracker.
  EXPECT_EQ(SummaryText(model.finishedJobs()).rfind("2 done, 0 failed, 1 stopped; median ", 0), 0u)
      << SummaryText(model.finishedJobs());
}

// Retry mends the batch before: its summary goes on, each tracker counted
// as its latest job ended; a new start begins a new summary.
TEST_F(ProvisioningStationTest, RetryMendsTheBatchsSummaryAndANewStartBeginsAnother) {
  Plug(61);
  Plug(62, "AT+RVTRI=", sim::Fault::Error);
  CProvisioningModel model(Ports(), dir.path());
  Listen(model);
  ASSERT_EQ(model.rows().size(), 2u);
  const ProvisioningInputs inputs{dir / "template.ini", "", ""};
  std::string error;
  const auto run = [&](const std::function<bool()>& start) {
    ASSERT_TRUE(start()) << error;
    ASSERT_TRUE(Until(model, [&] { return !model.Busy(); }));
  };
  for (std::size_t i = 0; i < 2; ++i) model.SetChecked(i, true);
  run([&] { return model.Start(ProvisioningAction::Verify, inputs, error); });
  EXPECT_EQ(SummaryText(model.finishedJobs()).rfind("1 done, 1 failed, 0 stopped", 0), 0u);
  sims[62]->ClearFaults();
  run([&] { return model.Retry({1}, ProvisioningAction::Verify, inputs, error); });  // COM62's row
  EXPECT_EQ(SummaryText(model.finishedJobs()).rfind("2 done, 0 failed, 0 stopped", 0), 0u);
  model.SetChecked(0, false);
  run([&] { return model.Start(ProvisioningAction::Verify, inputs, error); });
  EXPECT_EQ(SummaryText(model.finishedJobs()).rfind("1 done, 0 failed, 0 stopped", 0), 0u);
}

}  // namespace
