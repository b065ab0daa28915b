// The labels' PDF as WriteLabelSheet makes it (libqrencode and libharu), read
// back as a scanner and a reader would: each layout's pages rendered by
// pdftoppm, every label's QR code read by zbarimg, its text by pdftotext.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "../support/LabelCodes.h"
#include "../support/TestFiles.h"
#include "batch/LabelSheet.h"
#include "sim/TrackerSim.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

TEST(LabelSheetTest, EveryLabelsQrCodeReadsBackAsItsImeiOnEveryPageOfEachLayout) {
  if (!batch::LabelsAvailable()) GTEST_SKIP() << batch::LabelsUnavailableText();
  for (const char* tool : {"pdftoppm", "zbarimg", "pdfinfo", "pdftotext"})
    if (std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()) != 0)
      GTEST_SKIP() << tool << " is missing (Debian: poppler-utils, zbar-tools)";
  TempDir dir;
  using L = batch::LabelLayout;
  // A4: a full page of 24 and two on the second; the roll: a page each.
  for (const auto& [layout, count, pages] :
       {std::tuple{L::A4Grid3x8, 26, 2}, std::tuple{L::Roll62x29, 3, 3}}) {
    const std::string pdf = dir / (std::string(batch::GeometryOf(layout).name) + ".pdf");
    SCOPED_TRACE(pdf);
    std::vector<batch::LabelRecord> labels;
    std::vector<std::string> imeis;
    for (int n = 1; n <= count; ++n) {
      labels.push_back({sim::SimImei(n), sim::SimIccid(n), "V2." + std::to_string(n) + "-rel", "2026-12-08"});
      imeis.push_back(sim::SimImei(n));
    }
    std::sort(imeis.begin(), imeis.end());
    std::string error;
    ASSERT_TRUE(batch::WriteLabelSheet(labels, layout, pdf, error)) << error;
    EXPECT_TRUE(std::regex_search(CommandOutput("pdfinfo '" + pdf + "'"),
                                  std::regex("\nPages: +" + std::to_string(pages) + "\n")));
    EXPECT_EQ(DecodedLabelCodes(pdf, layout, count, dir.path()), imeis);
    const std::string text = CommandOutput("pdftotext -layout '" + pdf + "' -");
    for (const batch::LabelRecord& label : labels)
      for (const std::string& shown : {label.imei, label.iccid, label.firmware})
        EXPECT_NE(text.find(shown), std::string::npos) << shown;
    EXPECT_NE(text.find("2026-12-08"), std::string::npos);
  }
}

}  // namespace
