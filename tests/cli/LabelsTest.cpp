// rv450-cli labels against a journal of 26 trackers: the trackers its options select, one command line
// per layout, their PDF's QR codes read back by zbarimg and its text by pdftotext (every page of
// both layouts is the label sheet's own test); and the command lines that write no file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>

#include "../support/LabelCodes.h"
#include "../support/TestFiles.h"
#include "batch/LabelSheet.h"
#include "cli/Cli.h"
#include "journal/Journal.h"
#include "sim/TrackerSim.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

// What the journal holds of tracker n (1..26): seen on day 1 or 2 of
// December, the even ones failed; tracker 8 has no ICCID in its newest row.
struct Tracker {
  int n;
  int day() const { return 1 + n % 2; }
  bool failed() const { return n % 2 == 0; }
};

class LabelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    journal::CJournal db;
    std::string error;
    ASSERT_TRUE(db.Open(journalPath, error)) << error;
    journal::JournalRow noImei;  // a port that never answered
    noImei.outcome = "port-not-opened";
    ASSERT_TRUE(db.Append(noImei, error)) << error;
    for (int n = 1; n <= 26; ++n) {
      const Tracker t{n};
      journal::JournalRow row;
      row.imei = sim::SimImei(n);
      row.iccid = sim::SimIccid(n);
      row.firmware = "V2." + std::to_string(n) + "-rel";
      char time[32];
      std::snprintf(time, sizeof time, "2026-12-0%dT08:%02d:00Z", t.day(), n);
      row.time = time;
      row.outcome = t.failed() ? "tracker-failed" : "ok";
      row.exitCode = t.failed() ? 4 : 0;
      if (n == 8) {  // an earlier row holds its ICCID
        journal::JournalRow earlier = row;
        earlier.time = "2026-11-30T08:00:00Z";
        ASSERT_TRUE(db.Append(earlier, error)) << error;
        row.iccid.clear();
      }
      ASSERT_TRUE(db.Append(row, error)) << error;
    }
  }
  int Run(std::vector<std::string> args, std::string& err) {
    args.insert(args.end(), {"--journal", journalPath});
    std::ostringstream out, errors;
    cli::Environment env;
    env.workDir = dir.path();
    const int code = cli::RunCli(args, out, errors, env);
    err = errors.str();
    return code;
  }
  std::vector<std::string> DecodedImeis(const std::string& pdf, batch::LabelLayout layout, int labels) {
    return DecodedLabelCodes(pdf, layout, labels, dir.path());
  }

  TempDir dir;
  const std::string journalPath = dir / "journal.sqlite";
};

}  // namespace

TEST_F(LabelsTest, EachLayoutsQrCodesReadBackAsTheSelectedImeis) {
  if (!batch::LabelsAvailable()) GTEST_SKIP() << batch::LabelsUnavailableText();
  for (const char* tool : {"pdftoppm", "zbarimg", "pdfinfo", "pdftotext"})
    if (std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()) != 0)
      GTEST_SKIP() << tool << " is missing (Debian: poppler-utils, zbar-tools)";
  using L = batch::LabelLayout;
  const struct {
    std::vector<std::string> args;
    L layout;
    std::function<bool(const Tracker&)> selected;
    int pages;
  } rows[] = {
      // The default layout, every tracker (the row without an IMEI left out); --since and --outcome
      // select through the journal's query, as for `journal` (and in the refusals below).
      {{}, L::A4Grid3x8, [](const Tracker&) { return true; }, 2},
      {{"--layout", "62x29", "--imei", sim::SimImei(1) + "," + sim::SimImei(26) + "," + sim::SimImei(8)},
       L::Roll62x29,
       [](const Tracker& t) { return t.n == 1 || t.n == 26 || t.n == 8; },
       3},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = {"labels", "-o", dir / "labels.pdf"}, expected;
    args.insert(args.end(), row.args.begin(), row.args.end());
    SCOPED_TRACE(args.back());
    std::string err, text;
    ASSERT_EQ(Run(args, err), 0) << err;
    for (int n = 1; n <= 26; ++n)
      if (row.selected({n})) expected.push_back(sim::SimImei(n));
    std::sort(expected.begin(), expected.end());
    const std::string pdf = dir / "labels.pdf";
    EXPECT_TRUE(std::regex_search(CommandOutput("pdfinfo '" + pdf + "'"),
                                  std::regex("\nPages: +" + std::to_string(row.pages) + "\n")));
    EXPECT_EQ(DecodedImeis(pdf, row.layout, static_cast<int>(expected.size())), expected);
    // Text: IMEI, ICCID (tracker 8's from its earlier row) and firmware of every label.
    text = CommandOutput("pdftotext -layout '" + pdf + "' -");
    for (int n = 1; n <= 26; ++n)
      for (const std::string& shown : {sim::SimImei(n), sim::SimIccid(n), "V2." + std::to_string(n) + "-rel"})
        EXPECT_EQ(text.find(shown) != std::string::npos, row.selected({n})) << shown;
  }
}

TEST_F(LabelsTest, NothingSelectedOrABadOptionWritesNoFile) {
  if (!batch::LabelsAvailable()) GTEST_SKIP() << batch::LabelsUnavailableText();
  const std::string pdf = dir / "labels.pdf", lost = dir / "none/labels.pdf";
  const struct {
    std::vector<std::string> args;
    int code;
    std::string error;
  } rows[] = {
      {{"-o", pdf, "--since", "2026-12-03"},
       2,
       "no tracker selected: the journal " + journalPath +
           " has no row with an IMEI that --since 2026-12-03T00:00:00Z selects; no file was written"},
      {{"-o", pdf, "--imei", sim::SimImei(2) + "," + sim::SimImei(99)},
       2,
       "has no row of IMEI " + sim::SimImei(99) + "; no file"},
      {{"-o", pdf, "--imei", sim::SimImei(2), "--outcome", "ok"},
       2,
       "has no row of IMEI " + sim::SimImei(2) + " that --outcome ok selects"},
      {{"-o", pdf, "--outcome", "fine"}, 2, "--outcome 'fine' is no outcome"},
      {{"-o", pdf, "--layout", "a5"}, 2, "--layout must be a4-3x8 or 62x29, not 'a5'"},
      {{"--layout", "62x29"}, 2, "labels needs -o FILE.pdf"},
      {{"-o", lost}, 5, lost + ": "},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = {"labels"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    std::string err;
    EXPECT_EQ(Run(args, err), row.code) << err;
    EXPECT_NE(err.find(row.error), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(pdf)) << args.back();
  }
}
