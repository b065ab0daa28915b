#include "batch/LabelLayout.h"

namespace kestrun::batch {

namespace {

// A4 (210 x 297 mm) is exactly three 70 mm labels wide; eight rows of 36 mm
// leave 4.5 mm above and below, as the pre-cut sheets of this size have.
const LabelGeometry kLayouts[] = {
    {LabelLayout::A4Grid3x8, "a4-3x8", 210, 297, 70, 36, 3, 8, 0, 4.5},
    {LabelLayout::Roll62x29, "62x29", 62, 29, 62, 29, 1, 1, 0, 0},
};

}  // namespace

const LabelGeometry& GeometryOf(LabelLayout layout) {
  for (const LabelGeometry& geometry : kLayouts)
    if (geometry.layout == layout) return geometry;
  return kLayouts[0];
}

std::vector<std::string> LabelLayoutNames() {
  std::vector<std::string> names;
  for (const LabelGeometry& geometry : kLayouts) names.push_back(geometry.name);
  return names;
}

bool ParseLabelLayout(const std::string& name, LabelLayout& layout) {
  for (const LabelGeometry& geometry : kLayouts)
    if (name == geometry.name) {
      layout = geometry.layout;
      return true;
    }
  return false;
}

int LabelPages(LabelLayout layout, std::size_t labels) {
  const LabelGeometry& geometry = GeometryOf(layout);
  const std::size_t perPage = static_cast<std::size_t>(geometry.columns * geometry.rows);
  return static_cast<int>((labels + perPage - 1) / perPage);
}

}  // namespace kestrun::batch
