// The labels as batch/LabelDrawing lays them out for every canvas (the PDF
// and the window's print preview): each label inside its own cell of the
// page, its QR code left of its text, a text too long for the label made
// smaller or cut with "...", bytes the fonts cannot show as '?', and as many
// pages as the layout needs; and the PDF that batch/LabelSheet makes of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../support/LabelCodes.h"
#include "../support/TestFiles.h"
#include "batch/LabelDrawing.h"
#include "batch/LabelSheet.h"
#include "sim/TrackerSim.h"

using namespace kestrun;
using namespace kestrun::batch;
using namespace kestrun::testing;

namespace {

constexpr double kMmPerPoint = 25.4 / 72;

// Records what is drawn; text is as wide as a monospaced font 0.6 em wide.
struct CRecordingCanvas : ILabelCanvas {
  struct Drawn {
    double points;
    std::string text;
    double x, baseline;
  };
  struct Label {
    int page;
    std::vector<MmRect> code;
    std::vector<Drawn> texts;
  };
  static double Width(double points, const std::string& text) { return 0.6 * points * text.size(); }

  void NewPage(const LabelGeometry&) override { ++pages; }
  void Fill(const std::vector<MmRect>& rects) override { labels.push_back({pages, rects, {}}); }
  double TextWidth(LabelFont, double points, const std::string& text) override { return Width(points, text); }
  void Text(LabelFont, double points, const std::string& text, double x, double baseline) override {
    labels.back().texts.push_back({points, text, x, baseline});
  }
  int pages = 0;
  std::vector<Label> labels;
};

QrModules Checkerboard(int width) {
  QrModules qr;
  qr.width = width;
  for (int i = 0; i < width * width; ++i) qr.dark.push_back((i / width + i % width) % 2 == 0 || i < width);
  return qr;
}

TEST(LabelDrawingTest, EachLabelStaysInItsCellWithItsCodeLeftOfItsPrintableText) {
  const std::string longFirmware(120, 'F');
  // firmware: as the tracker gave it; shown: as printed ("-" when empty, '?' for what the fonts cannot
  // show), before a text too long for the label is cut with "...".
  const struct {
    LabelLayout layout;
    int labels, pages;
    std::string firmware, shown;
  } cases[] = {{LabelLayout::A4Grid3x8, 1, 1, "V2.1 build", "V2.1 build"},
               {LabelLayout::A4Grid3x8, 24, 1, "V\xc3\xa9\t1\x7f", "V???1?"},
               {LabelLayout::A4Grid3x8, 25, 2, longFirmware, longFirmware},
               {LabelLayout::Roll62x29, 3, 3, longFirmware, longFirmware},
               {LabelLayout::Roll62x29, 1, 1, "", "-"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(GeometryOf(c.layout).name) + " x " + std::to_string(c.labels));
    const LabelGeometry& g = GeometryOf(c.layout);
    std::vector<LabelRecord> records;
    std::vector<QrModules> codes;
    for (int i = 0; i < c.labels; ++i) {
      records.push_back(
          {"35000000000" + std::to_string(1000 + i), "89490000000000001234", c.firmware, "2026-12-08"});
      codes.push_back(Checkerboard(21 + 4 * (i % 3)));
    }
    CRecordingCanvas canvas;
    DrawLabels(records, codes, c.layout, canvas);
    EXPECT_EQ(canvas.pages, c.pages);
    EXPECT_EQ(LabelPages(c.layout, records.size()), c.pages);
    ASSERT_EQ(canvas.labels.size(), records.size());
    const int perPage = g.columns * g.rows;
    for (int i = 0; i < c.labels; ++i) {
      SCOPED_TRACE(i);
      const CRecordingCanvas::Label& label = canvas.labels[static_cast<std::size_t>(i)];
      EXPECT_EQ(label.page, i / perPage + 1);
      const double left = g.left + (i % perPage) % g.columns * g.labelWidth;
      const double top = g.top + (i % perPage) / g.columns * g.labelHeight;
      const auto inside = [&](double x, double y) {
        return x >= left && x <= left + g.labelWidth && y >= top && y <= top + g.labelHeight;
      };
      double codeRight = left;
      ASSERT_FALSE(label.code.empty());
      for (const MmRect& r : label.code) {
        EXPECT_TRUE(inside(r.x, r.y) && inside(r.x + r.width, r.y + r.height));
        codeRight = std::max(codeRight, r.x + r.width);
      }
      // Four captions and their values, top to bottom, each fitting the label's width, or cut with "...".
      const LabelRecord& record = records[static_cast<std::size_t>(i)];
      const std::string lines[] = {"IMEI",     record.imei, "ICCID", record.iccid,
                                   "Firmware", c.shown,     "Date",  record.date};
      ASSERT_EQ(label.texts.size(), std::size(lines));
      for (std::size_t t = 0; t < label.texts.size(); ++t) {
        const CRecordingCanvas::Drawn& text = label.texts[t];
        EXPECT_GT(text.x, codeRight);
        EXPECT_TRUE(
            inside(text.x + CRecordingCanvas::Width(text.points, text.text) * kMmPerPoint, text.baseline))
            << text.text;
        EXPECT_TRUE(inside(text.x, text.baseline - text.points * kMmPerPoint)) << text.text;
        const std::string kept = text.text.substr(0, text.text.size() - 3);
        EXPECT_TRUE(text.text == lines[t] || (text.text.ends_with("...") && lines[t].starts_with(kept)))
            << text.text;
      }
    }
  }
}

// The labels' PDF as WriteLabelSheet makes it (libqrencode and libharu), read
// back as a scanner and a reader would: each layout's pages rendered by
// pdftoppm, every label's QR code read by zbarimg, its pages and text by
// pdftotext.
TEST(LabelSheetTest, EveryLabelsQrCodeReadsBackAsItsImeiOnEveryPageOfEachLayout) {
  if (!LabelsAvailable()) GTEST_SKIP() << LabelsUnavailableText();
  if (const std::string missing = MissingReadBackTool(); !missing.empty()) GTEST_SKIP() << missing;
  TempDir dir;
  // A4: a full page of 24 and two on the second; the roll: a page each.
  for (const auto& [layout, count, pages] :
       {std::tuple{LabelLayout::A4Grid3x8, 26, 2}, std::tuple{LabelLayout::Roll62x29, 3, 3}}) {
    const std::string pdf = dir / (std::string(GeometryOf(layout).name) + ".pdf");
    SCOPED_TRACE(pdf);
    std::vector<LabelRecord> labels;
    std::vector<std::string> imeis;
    for (int n = 1; n <= count; ++n) {
      labels.push_back({sim::SimImei(n), sim::SimIccid(n), "V2." + std::to_string(n) + "-rel", "2026-12-08"});
      imeis.push_back(sim::SimImei(n));
    }
    std::string error;
    ASSERT_TRUE(WriteLabelSheet(labels, layout, pdf, error)) << error;
    EXPECT_EQ(DecodedLabelCodes(pdf, layout, count, dir.path()), imeis);
    const std::string text = CommandOutput("pdftotext -layout '" + pdf + "' -");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), pages);  // a form feed ends each page
    for (const LabelRecord& label : labels)
      for (const std::string& shown : {label.imei, label.iccid, label.firmware, label.date})
        EXPECT_NE(text.find(shown), std::string::npos) << shown;
  }
}

}  // namespace
