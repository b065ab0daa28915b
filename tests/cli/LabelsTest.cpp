// rv450-cli labels against a journal of 26 trackers: the trackers its options select and the command
// lines that write no file; a list of trackers' PDF read back, its QR codes by zbarimg and its text
// by pdftotext.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
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

class LabelsTest : public ::testing::Test {
 protected:
  // Trackers 1..26 seen on 1 December, the even ones failed; tracker 8's newest row has no ICCID (an
  // earlier row holds it); one row is of a port that never answered (no IMEI).
  void SetUp() override {
    if (!batch::LabelsAvailable()) GTEST_SKIP() << batch::LabelsUnavailableText();
    journal::CJournal db;
    std::string error;
    ASSERT_TRUE(db.Open(journalPath, error)) << error;
    journal::JournalRow noImei;
    noImei.outcome = "port-not-opened";
    ASSERT_TRUE(db.Append(noImei, error)) << error;
    for (int n = 1; n <= 26; ++n) {
      journal::JournalRow row;
      row.imei = sim::SimImei(n);
      row.iccid = sim::SimIccid(n);
      row.firmware = "V2." + std::to_string(n) + "-rel";
      row.time = "2026-12-01T08:00:00Z";
      row.outcome = n % 2 == 0 ? "tracker-failed" : "ok";
      row.exitCode = n % 2 == 0 ? 4 : 0;
      if (n == 8) {
        journal::JournalRow earlier = row;
        earlier.time = "2026-11-30T08:00:00Z";
        ASSERT_TRUE(db.Append(earlier, error)) << error;
        row.iccid.clear();
      }
      ASSERT_TRUE(db.Append(row, error)) << error;
    }
  }
  // `rv450-cli labels ARGS` on the journal: its status; what it printed in `out` and `err`.
  int Run(const std::vector<std::string>& args) {
    std::vector<std::string> line = {"labels"};
    line.insert(line.end(), args.begin(), args.end());
    line.insert(line.end(), {"--journal", journalPath});
    std::ostringstream printed, errors;
    cli::Environment env;
    env.workDir = dir.path();
    const int code = cli::RunCli(line, printed, errors, env);
    out = printed.str();
    err = errors.str();
    return code;
  }

  TempDir dir;
  const std::string journalPath = dir / "journal.sqlite", pdf = dir / "labels.pdf";
  std::string out, err;
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
      // Every tracker once on the default layout: tracker 8's two rows make one label, the row
      // without an IMEI none. (--imei with the roll is read back below.)
      {{"-o", pdf}, 0, "26 labels on 2 pages (a4-3x8) into " + pdf},
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
    EXPECT_EQ(Run(row.args), row.code) << err;
    const std::string& said = row.code == 0 ? out : err;
    EXPECT_NE(said.find(row.said), std::string::npos) << said;
    EXPECT_EQ(std::filesystem::exists(pdf), row.code == 0);
  }
}

// A list of IMEIs on the roll: their QR codes read back, and their IMEI, ICCID (tracker 8's from its
// earlier row) and firmware as text, no other tracker's. Every page of both layouts is the label
// sheet's own test.
TEST_F(LabelsTest, TheListedTrackersQrCodesAndTextsReadBack) {
  for (const char* tool : {"pdftoppm", "zbarimg", "pdftotext"})
    if (std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()) != 0)
      GTEST_SKIP() << tool << " is missing (Debian: poppler-utils, zbar-tools)";
  std::vector<std::string> imeis = {sim::SimImei(1), sim::SimImei(26), sim::SimImei(8)};
  ASSERT_EQ(Run({"-o", pdf, "--layout", "62x29", "--imei", imeis[0] + "," + imeis[1] + "," + imeis[2]}), 0)
      << err;
  EXPECT_EQ(out.rfind("3 labels on 3 pages (62x29) into ", 0), 0u) << out;
  std::sort(imeis.begin(), imeis.end());
  EXPECT_EQ(DecodedLabelCodes(pdf, batch::LabelLayout::Roll62x29, 3, dir.path()), imeis);
  const std::string text = CommandOutput("pdftotext -layout '" + pdf + "' -");
  for (int n = 1; n <= 26; ++n)
    for (const std::string& shown : {sim::SimImei(n), sim::SimIccid(n), "V2." + std::to_string(n) + "-rel"})
      EXPECT_EQ(text.find(shown) != std::string::npos, n == 1 || n == 26 || n == 8) << shown;
}
