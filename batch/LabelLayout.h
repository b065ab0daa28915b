// The page formats labels are printed on: their names, their sizes and how
// many labels a page holds. Plain data, built with or without the PDF code.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kestrun::batch {

enum class LabelLayout {
  A4Grid3x8,  // "a4-3x8": A4 sheets of 3 x 8 labels of 70 x 36 mm
  Roll62x29,  // "62x29": one 62 x 29 mm label per page, for label printers
};

// One page format; lengths in millimetres, the page's top left corner at 0,0.
struct LabelGeometry {
  LabelLayout layout;
  const char* name;  // as --layout takes it
  double pageWidth, pageHeight;
  double labelWidth, labelHeight;
  int columns, rows;
  double left, top;  // where the first label starts on the page
};

const LabelGeometry& GeometryOf(LabelLayout layout);
// Every layout's name, in the table's order.
std::vector<std::string> LabelLayoutNames();
// The layout named `name` ("a4-3x8", "62x29"); false when there is none.
bool ParseLabelLayout(const std::string& name, LabelLayout& layout);
// How many pages `labels` labels take in `layout`.
int LabelPages(LabelLayout layout, std::size_t labels);

}  // namespace kestrun::batch
