#include "batch/LabelLayout.h"

namespace kestrun::batch {

namespace {

// A4 (210 x 297 mm) is exactly three 70 mm labels wide; eight rows of 36 mm
// leave 4.5 mm above and below, as the pre-cut sheets of this size have.
const LabelLayoutSpec kLayouts[] = {
    {LabelLayout::A4Grid3x8, "a4-3x8", 210, 297, 70, 36, 3, 8, 0, 4.5},
    {LabelLayout::Roll62x29, "62x29", 62, 29, 62, 29, 1, 1, 0, 0},
};

}  // namespace

const LabelLayoutSpec& LayoutSpec(LabelLayout layout) {
  for (const LabelLayoutSpec& spec : kLayouts)
    if (spec.layout == layout) return spec;
  return kLayouts[0];
}

std::vector<std::string> LabelLayoutNames() {
  std::vector<std::string> names;
  for (const LabelLayoutSpec& spec : kLayouts) names.push_back(spec.name);
  return names;
}

bool ParseLabelLayout(const std::string& name, LabelLayout& layout) {
  for (const LabelLayoutSpec& spec : kLayouts)
    if (name == spec.name) {
      layout = spec.layout;
      return true;
    }
  return false;
}

int LabelPages(LabelLayout layout, std::size_t labels) {
  const LabelLayoutSpec& spec = LayoutSpec(layout);
  const std::size_t perPage = static_cast<std::size_t>(spec.columns * spec.rows);
  return static_cast<int>((labels + perPage - 1) / perPage);
}

}  // namespace kestrun::batch
