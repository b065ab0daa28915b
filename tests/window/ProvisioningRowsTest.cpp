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
  using C = batch::Command;
  using S = RowState;
  struct Case {
    const char* name;
    C command;
    const char* outcome;  // with status 4 when tracker-failed, 130 when stopped, else 0
    std::vector<std::string> taken;
    const char* during;  // the row's words when the job ended
    bool gone;           // the port's device is gone
    S state;
    const char* result;  // exact, or ResultText's when null
    const char* message = "Send AT+RVTRI Fail !";
  };
  const Case cases[] = {
      {"unplugged mid-write", C::Provision, "tracker-failed", {"RVSRI", "RVBEI"}, "writing RVTRI 3 of 7", true,
       S::Failed, "failed: gone during writing RVTRI 3 of 7; RVSRI, RVBEI taken"},
      {"unplugged before any group", C::Verify, "tracker-failed", {}, "identifying", true, S::Failed,
       "failed: gone during identifying; nothing taken"},
      {"stopped mid-write", C::Provision, "stopped", {"RVSRI"}, "writing RVBEI 2 of 7", false, S::Stopped,
       "stopped during writing RVBEI 2 of 7; RVSRI taken"},
      {"stopped while reading: nothing is written", C::Read, "stopped", {}, "reading RVSRI 1 of 9", false,
       S::Stopped, "stopped during reading RVSRI 1 of 9"},
      {"a refused line with the device still there", C::Provision, "tracker-failed", {"RVSRI"},
       "writing RVTRI 3 of 7", false, S::Failed, nullptr},
      {"done even though the device went afterwards", C::Identify, "ok", {}, "identifying", true, S::Done,
       nullptr},
      {"skipped as done: that first", C::Provision, "skipped", {}, "identifying", false, S::Done,
       "already done at 2026-12-08 10:00:00", "already done at 2026-12-08 10:00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProvisioningRow row;
    row.running = row.checked = true;
    row.stateText = c.during;
    batch::PortReport report;
    report.command = c.command;
    report.outcome = c.outcome;
    report.exitCode = report.outcome == "stopped"          ? batch::kExitInterrupted
                      : report.outcome == "tracker-failed" ? batch::kExitTrackerFailed
                                                           : batch::kExitOk;
    report.groupsSent = c.taken;
    report.message = c.message;
    report.identity.imei = "350000000000061";
    FinishRow(row, report, c.gone);
    EXPECT_EQ(row.state, c.state);
    EXPECT_EQ(row.stateText, StateWords(c.state));
    EXPECT_EQ(std::tuple(row.running, row.checked, row.answered), std::tuple(false, true, true));
    EXPECT_EQ(row.result, c.result ? std::string(c.result) : batch::ResultText(report));
  }
}

TEST(ProvisioningRowsTest, TheSummaryCountsHowTrackersEndedAndTheMedianTimeOfThoseDone) {
  using S = RowState;
  const std::pair<std::vector<FinishedJob>, const char*> cases[] = {
      {{}, ""},
      // The failed and stopped ones take no part in the median.
      {{{S::Done, 3.0}, {S::Failed, 60.0}, {S::Done, 1.0}, {S::Stopped, 0.1}, {S::Done, 2.0}},
       "3 done, 1 failed, 1 stopped; median 2.0 s per tracker"},
      {{{S::Done, 1.0}, {S::Done, 2.0}}, "2 done, 0 failed, 0 stopped; median 1.5 s per tracker"},
      {{{S::Failed, 4.0}, {S::Stopped, 1.0}}, "0 done, 1 failed, 1 stopped"},
  };
  for (const auto& [jobs, summary] : cases) EXPECT_EQ(SummaryText(jobs), summary);
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
