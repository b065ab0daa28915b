// rv450-cli labels against a journal of four trackers: the trackers its options select, the layout
// they reach the label sheet with, and the command lines that write no file. What a label shows and
// its QR code are the label sheet's own test (LabelSheetTest).
#include <gtest/gtest.h>

#include <filesystem>

#include "../support/LabelCodes.h"
#include "CliFixture.h"
#include "batch/LabelSheet.h"
#include "journal/Journal.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

class LabelsTest : public CCliFixture {
 protected:
  // Trackers 1..4 seen on 1 December, the even ones failed; tracker 2's newest row has no ICCID (an
  // earlier row holds it); one row is of a port that never answered (no IMEI).
  void SetUp() override {
    if (!batch::LabelsAvailable()) GTEST_SKIP() << batch::LabelsUnavailableText();
    journal::CJournal db;
    std::string error;
    ASSERT_TRUE(db.Open(journalPath, error)) << error;
    std::vector<journal::JournalRow> rows(1);
    rows[0].outcome = "port-not-opened";
    for (int n = 1; n <= 4; ++n) {
      journal::JournalRow row;
      row.time = "2026-12-01T08:00:00Z";
      row.imei = sim::SimImei(n);
      row.iccid = sim::SimIccid(n);
      row.firmware = "V2." + std::to_string(n) + "-rel";
      row.outcome = n % 2 == 0 ? "tracker-failed" : "ok";
      if (n == 2) {
        rows.push_back(row);
        rows.back().time = "2026-11-30T08:00:00Z";
        row.iccid.clear();
      }
      rows.push_back(row);
    }
    for (journal::JournalRow& row : rows) ASSERT_TRUE(db.Append(row, error)) << error;
  }
  const std::string journalPath = dir / "journal.sqlite", pdf = dir / "labels.pdf";
};

}  // namespace

// The trackers each option selects, and the command lines that write no file; the last row's PDF is
// read back as text.
TEST_F(LabelsTest, OptionsSelectTheTrackersOrWriteNoFile) {
  const std::string lost = dir / "none/labels.pdf", i1 = sim::SimImei(1), i2 = sim::SimImei(2),
                    i4 = sim::SimImei(4), i99 = sim::SimImei(99);
  const struct {
    std::vector<std::string> args;
    int code;
    std::string said;  // in the output, or (refused) in the error
  } rows[] = {
      // Every tracker once on the default layout: tracker 2's two rows make one label, the row
      // without an IMEI none.
      {{"-o", pdf}, 0, "4 labels on 1 page (a4-3x8) into " + pdf},
      {{"-o", pdf, "--since", "2026-12-03"},
       2,
       "no tracker selected: the journal " + journalPath +
           " has no row with an IMEI that --since 2026-12-03T00:00:00Z selects; no file was written"},
      {{"-o", pdf, "--imei", i2 + "," + i99}, 2, "has no row of IMEI " + i99 + "; no file"},
      {{"-o", pdf, "--imei", i2, "--outcome", "ok"}, 2, "has no row of IMEI " + i2 + " that --outcome ok"},
      {{"-o", pdf, "--outcome", "fine"}, 2, "--outcome 'fine' is no outcome"},
      {{"-o", pdf, "--layout", "a5"}, 2, "--layout must be a4-3x8 or 62x29, not 'a5'"},
      {{"--layout", "62x29"}, 2, "labels needs -o FILE.pdf"},
      {{"-o", lost}, 5, lost + ": "},
      // A list of IMEIs on the roll: a page each.
      {{"-o", pdf, "--layout", "62x29", "--imei", i1 + "," + i4 + "," + i2},
       0,
       "3 labels on 3 pages (62x29)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.said);
    std::filesystem::remove(pdf);
    std::vector<std::string> args = {"labels", "--journal", journalPath};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const Result r = RunRaw(args);
    EXPECT_EQ(r.code, row.code) << r.err;
    const std::string& said = row.code == 0 ? r.out : r.err;
    EXPECT_NE(said.find(row.said), std::string::npos) << said;
    EXPECT_EQ(std::filesystem::exists(pdf), row.code == 0);
  }
  // The listed trackers' IMEI, ICCID (tracker 2's from its earlier row), firmware and the date of
  // their newest row, in their order on as many pages as the roll needs; no other tracker's.
  if (const std::string missing = MissingReadBackTool(); !missing.empty()) GTEST_SKIP() << missing;
  const std::string text = CommandOutput("pdftotext '" + pdf + "' -");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 3);
  EXPECT_NE(text.find("2026-12-01"), std::string::npos);
  EXPECT_TRUE(text.find(i1) < text.find(i4) && text.find(i4) < text.find(i2));  // in --imei's order
  for (int n = 1; n <= 4; ++n)
    for (const std::string& shown : {sim::SimImei(n), sim::SimIccid(n), "V2." + std::to_string(n) + "-rel"})
      EXPECT_EQ(text.find(shown) != std::string::npos, n != 3) << shown;
}
