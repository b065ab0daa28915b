// What a tracker's label shows and where, drawn on any canvas: the PDF of
// rv450-cli labels (libharu, batch/LabelSheet) and the Provisioning window's
// print preview (QPainter, ui/LabelPrint) draw the same labels from this one
// description. Lengths in millimetres from the page's top left corner; font
// sizes in points. Plain C++, built with or without the label libraries.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "batch/LabelLayout.h"

namespace kestrun::batch {

struct LabelRecord {
  std::string imei;      // required: the text and the QR code
  std::string iccid;     // empty: shown as "-"
  std::string firmware;  // empty: shown as "-"
  std::string date;      // as it is to be printed, e.g. "2026-12-01"
};

// A QR code's modules, row by row: `width` x `width`, true where dark.
struct QrModules {
  int width = 0;
  std::vector<bool> dark;
  bool Dark(int row, int column) const {
    return dark[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                static_cast<std::size_t>(column)];
  }
};

struct MmRect {
  double x, y, width, height;
};

enum class LabelFont { Regular, Bold };

// Where labels are drawn. A canvas measures its own fonts, so text is fitted
// to the label with the metrics it is drawn with.
class ILabelCanvas {
 public:
  virtual ~ILabelCanvas() = default;
  // Starts a page of the layout's size; what follows is drawn on it.
  virtual void NewPage(const LabelGeometry& geometry) = 0;
  // Fills `rects` in black as one shape, so no seam shows between neighbours.
  virtual void Fill(const std::vector<MmRect>& rects) = 0;
  // The width of `text` in `font` at `points`, in points.
  virtual double TextWidth(LabelFont font, double points, const std::string& text) = 0;
  // `text` in `font` at `points`, its baseline starting at (x, baseline).
  virtual void Text(LabelFont font, double points, const std::string& text, double x, double baseline) = 0;
};

// One captioned line of a label, as it is printed.
struct LabelLine {
  const char* caption;
  std::string value;  // printable ASCII; "-" for an empty value
  bool bold;
};
// The label's lines, top to bottom: IMEI (bold), ICCID, Firmware, Date.
std::vector<LabelLine> LabelLines(const LabelRecord& label);
// `text` as the labels' fonts can show it: "-" when empty, every byte that is
// not printable ASCII as '?' (a tracker's own texts may hold any byte).
std::string PrintableLabelText(const std::string& text);

// Draws `labels` in order on the pages of `layout`, each with its QR code
// (`codes[i]` for `labels[i]`): a new page whenever the last is full.
void DrawLabels(const std::vector<LabelRecord>& labels, const std::vector<QrModules>& codes,
                LabelLayout layout, ILabelCanvas& canvas);

}  // namespace kestrun::batch
