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

TEST(ProvisioningRowsTest, TheSummaryCountsEachTrackersLatestOutcomeAndTheMedianTimeOfThoseDone) {
  using S = RowState;
  const std::pair<std::vector<FinishedJob>, const char*> cases[] = {
      {{}, ""},
      // The failed and stopped ones take no part in the median.
      {{{S::Done, 3.0, 1, "A"}, {S::Failed, 60.0, 2, "B"}, {S::Done, 1.0, 3, "C"}, {S::Stopped, 0.1, 4, "D"},
        {S::Done, 2.0, 5, "E"}},
       "3 done, 1 failed, 1 stopped; median 2.0 s per tracker"},
      {{{S::Done, 1.0, 1, "A"}, {S::Done, 2.0, 2, "B"}},
       "2 done, 0 failed, 0 stopped; median 1.5 s per tracker"},
      // Retried: the tracker counts once, as its latest job ended, wherever it was plugged in.
      {{{S::Failed, 4.0, 1, "A"}, {S::Stopped, 1.0, 2, "B"}, {S::Done, 2.0, 3, "A"}},
       "1 done, 0 failed, 1 stopped; median 2.0 s per tracker"},
      // A job that never learnt the IMEI is replaced by the next one on its port...
      {{{S::Failed, 9.0, 1, ""}, {S::Done, 1.0, 1, "A"}, {S::Failed, 9.0, 2, ""}, {S::Failed, 8.0, 2, ""}},
       "1 done, 1 failed, 0 stopped; median 1.0 s per tracker"},
      // ...but a tracker that was known stays when another one follows it on the same port.
      {{{S::Done, 1.0, 1, "A"}, {S::Done, 3.0, 1, "B"}, {S::Failed, 9.0, 1, ""}},
       "2 done, 1 failed, 0 stopped; median 2.0 s per tracker"},
  };
  for (const auto& [jobs, summary] : cases) {
    std::vector<FinishedJob> kept;
    for (const FinishedJob& job : jobs) AddFinished(kept, job);
    EXPECT_EQ(SummaryText(kept), summary);
  }
}

TEST(ProvisioningRowsTest, TheStopQuestionNamesEachRunningPort) {
  EXPECT_EQ(StopQuestion({33}), "The job on COM33 is running. Stop it?");
  EXPECT_EQ(StopQuestion({33, 35, 40}), "The jobs on COM33, COM35, COM40 are running. Stop them?");
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

// A refusal shows its first problems and counts the rest, so that a table with a
// fault in every row cannot flood the window.
TEST(ProvisioningRowsTest, ARefusalShowsItsFirstProblemsAndCountsTheRest) {
  const std::pair<std::size_t, const char*> cases[] = {
      {0, ""}, {1, ""}, {kProblemsShown, ""}, {kProblemsShown + 1, "and 1 more problem\n"},
      {kProblemsShown + 5, "and 5 more problems\n"}};
  for (const auto& [count, more] : cases) {
    batch::Refusal refusal{{}, "nothing was sent"};
    std::string shown;
    for (std::size_t i = 1; i <= count; ++i) {
      refusal.problems.push_back("t.csv:" + std::to_string(i) + ": bad");
      if (i <= kProblemsShown) shown += refusal.problems.back() + "\n";
    }
    EXPECT_EQ(RefusalText(refusal), shown + more + "nothing was sent") << count;
  }
}

}  // namespace
