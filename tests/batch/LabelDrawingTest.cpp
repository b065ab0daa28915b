// The labels as batch/LabelDrawing lays them out for every canvas (the PDF
// and the window's print preview): each label inside its own cell of the
// page, its QR code left of its text, a text too long for the label made
// smaller or cut with "...", and as many pages as the layout needs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch/LabelDrawing.h"

using namespace kestrun::batch;

namespace {

constexpr double kMmPerPoint = 25.4 / 72;

// Records what is drawn; text is as wide as a monospaced font 0.6 em wide.
struct CRecordingCanvas : ILabelCanvas {
  struct Drawn {
    LabelFont font;
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
  void Text(LabelFont font, double points, const std::string& text, double x, double baseline) override {
    labels.back().texts.push_back({font, points, text, x, baseline});
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

TEST(LabelDrawingTest, EachLabelStaysInItsCellWithItsCodeLeftOfItsText) {
  const std::string longFirmware(120, 'F');
  const struct {
    LabelLayout layout;
    int labels;
    std::string firmware;
  } cases[] = {{LabelLayout::A4Grid3x8, 1, "V2.1"},
               {LabelLayout::A4Grid3x8, 24, "V2.1"},
               {LabelLayout::A4Grid3x8, 25, longFirmware},
               {LabelLayout::Roll62x29, 3, longFirmware},
               {LabelLayout::Roll62x29, 1, ""}};
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
    EXPECT_EQ(canvas.pages, LabelPages(c.layout, records.size()));
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
      // Four captions and their values, in the lines' order, each fitting the label's width, or cut with
      // "...".
      const std::vector<LabelLine> lines = LabelLines(records[static_cast<std::size_t>(i)]);
      ASSERT_EQ(label.texts.size(), 2 * lines.size());
      for (std::size_t t = 0; t < label.texts.size(); ++t) {
        const CRecordingCanvas::Drawn& text = label.texts[t];
        EXPECT_GT(text.x, codeRight);
        EXPECT_TRUE(
            inside(text.x + CRecordingCanvas::Width(text.points, text.text) * kMmPerPoint, text.baseline))
            << text.text;
        EXPECT_TRUE(inside(text.x, text.baseline - text.points * kMmPerPoint)) << text.text;
        const std::string wanted = t % 2 == 0 ? lines[t / 2].caption : lines[t / 2].value;
        const std::string kept = text.text.substr(0, text.text.size() - 3);
        EXPECT_TRUE(text.text == wanted || (text.text.ends_with("...") && wanted.starts_with(kept)))
            << text.text;
      }
    }
  }
}

TEST(LabelDrawingTest, TextsTheFontsCannotShowBecomeQuestionMarks) {
  const struct {
    std::string given, shown;
  } cases[] = {{"", "-"},
               {"V2.1 build", "V2.1 build"},
               {"V\xc3\xa9\t1\x7f",
                "V??"
                "?1?"}};
  for (const auto& c : cases) EXPECT_EQ(PrintableLabelText(c.given), c.shown) << c.given;
}

}  // namespace
