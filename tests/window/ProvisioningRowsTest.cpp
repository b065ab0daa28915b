// What a finished job leaves in a Provisioning window row, the summary line
// under the rows and the window's words for the layers' texts: the row and
// the summary are made from reports and jobs as the jobs give them.
#include <gtest/gtest.h>

#include "window/ProvisioningRows.h"
#include "window/ProvisioningSummary.h"
#include "window/WindowWords.h"

using namespace kestrun;

namespace {

TEST(ProvisioningRowsTest, AJobThatDidNotEndSaysWhereItWasAndWhatTheTrackerTook) {
  struct Case {
    const char* name;
    batch::Command command;
    const char* outcome;
    int exitCode;
    std::vector<std::string> taken;
    const char* during;  // the row's words when the job ended
    bool gone;           // the port's device is gone
    RowState state;
    const char* result;  // exact, or the start of ResultText's when null
    const char* message = "Send AT+RVTRI Fail !";
  };
  const Case cases[] = {
      {"unplugged mid-write", batch::Command::Provision, "tracker-failed", batch::kExitTrackerFailed,
       {"RVSRI", "RVBEI"}, "writing RVTRI 3 of 7", true, RowState::Failed,
       "failed: gone during writing RVTRI 3 of 7; RVSRI, RVBEI taken"},
      {"unplugged before any group", batch::Command::Verify, "tracker-failed", batch::kExitTrackerFailed, {},
       "identifying", true, RowState::Failed, "failed: gone during identifying; nothing taken"},
      {"stopped mid-write", batch::Command::Provision, "stopped", batch::kExitInterrupted, {"RVSRI"},
       "writing RVBEI 2 of 7", false, RowState::Stopped, "stopped during writing RVBEI 2 of 7; RVSRI taken"},
      {"stopped while reading: nothing is written", batch::Command::Read, "stopped", batch::kExitInterrupted, {},
       "reading RVSRI 1 of 9", false, RowState::Stopped, "stopped during reading RVSRI 1 of 9"},
      {"a refused line with the device still there", batch::Command::Provision, "tracker-failed",
       batch::kExitTrackerFailed, {"RVSRI"}, "writing RVTRI 3 of 7", false, RowState::Failed, nullptr},
      {"done even though the device went afterwards", batch::Command::Identify, "ok", batch::kExitOk, {},
       "identifying", true, RowState::Done, nullptr},
      {"skipped as done: that first", batch::Command::Provision, "skipped", batch::kExitOk, {}, "identifying",
       false, RowState::Done, "already done at 2026-12-08 10:00:00", "already done at 2026-12-08 10:00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProvisioningRow row;
    row.running = true;
    row.stateText = c.during;
    row.checked = true;
    batch::PortReport report;
    report.command = c.command;
    report.outcome = c.outcome;
    report.exitCode = c.exitCode;
    report.groupsSent = c.taken;
    report.message = c.message;
    report.identity.imei = "350000000000061";
    FinishRow(row, report, c.gone);
    EXPECT_EQ(row.state, c.state);
    EXPECT_EQ(row.stateText, StateWords(c.state));
    EXPECT_FALSE(row.running);
    EXPECT_TRUE(row.checked);
    EXPECT_TRUE(row.answered);
    EXPECT_EQ(row.result, c.result ? std::string(c.result) : batch::ResultText(report));
  }
}

TEST(ProvisioningRowsTest, TheSummaryCountsHowTrackersEndedAndTheMedianTimeOfThoseDone) {
  using S = RowState;
  struct Case {
    std::vector<FinishedJob> jobs;
    const char* summary;
  };
  const Case cases[] = {
      {{}, ""},
      {{{S::Done, 1.9}}, "1 done, 0 failed, 0 stopped; median 1.9 s per tracker"},
      // The failed and stopped ones take no part in the median.
      {{{S::Done, 3.0}, {S::Failed, 60.0}, {S::Done, 1.0}, {S::Stopped, 0.1}, {S::Done, 2.0}},
       "3 done, 1 failed, 1 stopped; median 2.0 s per tracker"},
      {{{S::Done, 1.0}, {S::Done, 2.0}}, "2 done, 0 failed, 0 stopped; median 1.5 s per tracker"},
      {{{S::Failed, 4.0}, {S::Stopped, 1.0}}, "0 done, 1 failed, 1 stopped"},
  };
  for (const Case& c : cases) EXPECT_EQ(SummaryText(c.jobs), c.summary);
}

TEST(ProvisioningRowsTest, OptionsAreNamedByTheWindowsControls) {
  const std::pair<const char*, const char*> cases[] = {
      {"t.csv: the table has no IMEI or COM column; --assign deals its rows out in order",
       "t.csv: the table has no IMEI or COM column; the \"Deal rows in order\" box deals its rows out in order"},
      {"2 values break the rules (--allow-caps sends them as the window corrects them)",
       "2 values break the rules"},
      {"--assign and --skip-done", "the \"Deal rows in order\" box and the \"Skip trackers already done\" box"},
      {"no option here", "no option here"},
  };
  for (const auto& [text, words] : cases) EXPECT_EQ(InWindowWords(text), words);
}

}  // namespace
