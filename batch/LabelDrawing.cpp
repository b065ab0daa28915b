#include "batch/LabelDrawing.h"

#include <algorithm>
#include <iterator>

namespace kestrun::batch {

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr double kPadding = 2;       // mm between a label's edge and its QR code
constexpr double kRightPadding = 4;  // mm after the text: a sheet printer leaves its edge blank
constexpr int kQuietModules = 4;     // the white border a QR reader needs, in modules
constexpr double kSmallestText = 4;  // pt: text that would need less is cut instead
constexpr double kLeastShare = 0.6;  // nor is text made smaller than this share of its size

double Pt(double mm) { return mm * kPointsPerMm; }

// The dark modules of `qr` in a square of `side` mm at (x, y), quiet border
// included; each row's runs of modules are one rectangle.
void DrawQrCode(ILabelCanvas& canvas, const QrModules& qr, double x, double y, double side) {
  const double module = side / (qr.width + 2 * kQuietModules);
  std::vector<MmRect> rects;
  for (int row = 0; row < qr.width; ++row) {
    for (int start = 0; start < qr.width;) {
      if (!qr.Dark(row, start)) {
        ++start;
        continue;
      }
      int end = start;
      while (end < qr.width && qr.Dark(row, end)) ++end;
      rects.push_back({x + (kQuietModules + start) * module, y + (kQuietModules + row) * module,
                       (end - start) * module, module});
      start = end;
    }
  }
  canvas.Fill(rects);
}

// `text` with its baseline at (x, baseline), at `size` pt or smaller (down
// to 60 %) so that it fits `width` mm; cut short with "..." when even that
// does not fit (a firmware text of any length).
void DrawText(ILabelCanvas& canvas, LabelFont font, double size, std::string text, double x, double baseline,
              double width) {
  const double room = Pt(width);
  const double wide = canvas.TextWidth(font, size, text);
  if (wide > room) {
    // A little under the exact ratio, which rounding could leave too wide.
    size = std::max({kSmallestText, kLeastShare * size, 0.99 * size * room / wide});
    while (text.size() > 3 && canvas.TextWidth(font, size, text) > room)
      text = text.substr(0, text.size() - 4) + "...";
  }
  canvas.Text(font, size, text, x, baseline);
}

// One label with its top left corner at (left, top): the QR code on the
// left, as high as the label allows; on its right the captioned lines, each
// line's share of the height split into a small caption above a larger value.
void DrawLabel(ILabelCanvas& canvas, const QrModules& qr, const LabelRecord& label,
               const LabelGeometry& geometry, double left, double top) {
  const double side = geometry.labelHeight - 2 * kPadding;
  DrawQrCode(canvas, qr, left + kPadding, top + kPadding, side);
  const double x = left + kPadding + side + 1;
  const double width = left + geometry.labelWidth - kRightPadding - x;
  const std::vector<LabelLine> lines = LabelLines(label);
  const double share = side / static_cast<double>(lines.size());  // mm per line
  double y = top + kPadding;
  for (const LabelLine& line : lines) {
    DrawText(canvas, LabelFont::Regular, Pt(0.3 * share), line.caption, x, y + 0.26 * share, width);
    DrawText(canvas, line.bold ? LabelFont::Bold : LabelFont::Regular, Pt(0.5 * share), line.value, x,
             y + 0.74 * share, width);
    y += share;
  }
}

}  // namespace

std::string PrintableLabelText(const std::string& text) {
  std::string shown = text.empty() ? "-" : text;
  for (char& c : shown)
    if (c < 0x20 || c > 0x7e) c = '?';
  return shown;
}

std::vector<LabelLine> LabelLines(const LabelRecord& label) {
  return {{"IMEI", PrintableLabelText(label.imei), true},
          {"ICCID", PrintableLabelText(label.iccid), false},
          {"Firmware", PrintableLabelText(label.firmware), false},
          {"Date", PrintableLabelText(label.date), false}};
}

void DrawLabels(const std::vector<LabelRecord>& labels, const std::vector<QrModules>& codes,
                LabelLayout layout, ILabelCanvas& canvas) {
  const LabelGeometry& geometry = GeometryOf(layout);
  const std::size_t perPage = static_cast<std::size_t>(geometry.columns * geometry.rows);
  for (std::size_t i = 0; i < labels.size() && i < codes.size(); ++i) {
    const std::size_t place = i % perPage;
    if (place == 0) canvas.NewPage(geometry);
    const int column = static_cast<int>(place) % geometry.columns;
    const int row = static_cast<int>(place) / geometry.columns;
    DrawLabel(canvas, codes[i], labels[i], geometry, geometry.left + column * geometry.labelWidth,
              geometry.top + row * geometry.labelHeight);
  }
}

}  // namespace kestrun::batch
