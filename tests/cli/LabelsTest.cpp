// rv450-cli labels against a journal of four trackers: the trackers its options select and the command
// lines that write no file; a list of trackers' PDF read back, its QR codes by zbarimg and its text by
// pdftotext. Every page of both layouts is the label sheet's own test.
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
  // `rv450-cli labels ARGS` on the journal.
  Result Labels(std::vector<std::string> args) {
    args.insert(args.begin(), "labels");
    args.insert(args.end(), {"--journal", journalPath});
    return RunRaw(args);
  }

  const std::string journalPath = dir / "journal.sqlite", pdf = dir / "labels.pdf";
};

}  // namespace

// The trackers each option selects, and the command lines that write no file.
TEST_F(LabelsTest, OptionsSelectTheTrackersOrWriteNoFile) {
  const std::string lost = dir / "none/labels.pdf";
  const struct {
    std::vector<std::string> args;
    int code;
    std::string said;  // in the output, or (refused) in the error
  } rows[] = {
      // Every tracker once on the default layout: tracker 2's two rows make one label, the row
      // without an IMEI none. (--imei with the roll is read back below.)
      {{"-o", pdf}, 0, "4 labels on 1 page (a4-3x8) into " + pdf},
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
    SCOPED_TRACE(row.said);
    std::filesystem::remove(pdf);
    const Result r = Labels(row.args);
    EXPECT_EQ(r.code, row.code) << r.err;
    const std::string& said = row.code == 0 ? r.out : r.err;
    EXPECT_NE(said.find(row.said), std::string::npos) << said;
    EXPECT_EQ(std::filesystem::exists(pdf), row.code == 0);
  }
}

// A list of IMEIs on the roll: their QR codes read back, and their IMEI, ICCID (tracker 2's from its
// earlier row) and firmware as text, no other tracker's.
TEST_F(LabelsTest, TheListedTrackersQrCodesAndTextsReadBack) {
  if (const std::string missing = MissingReadBackTool(); !missing.empty()) GTEST_SKIP() << missing;
  const Result r = Labels({"-o", pdf, "--layout", "62x29", "--imei",
                           sim::SimImei(1) + "," + sim::SimImei(4) + "," + sim::SimImei(2)});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.rfind("3 labels on 3 pages (62x29) into ", 0), 0u) << r.out;
  EXPECT_EQ(DecodedLabelCodes(pdf, batch::LabelLayout::Roll62x29, 3, dir.path()),
            (std::vector{sim::SimImei(1), sim::SimImei(2), sim::SimImei(4)}));  // sorted
  const std::string text = CommandOutput("pdftotext -layout '" + pdf + "' -");
  for (int n = 1; n <= 4; ++n)
    for (const std::string& shown : {sim::SimImei(n), sim::SimIccid(n), "V2." + std::to_string(n) + "-rel"})
      EXPECT_EQ(text.find(shown) != std::string::npos, n != 3) << shown;
}
