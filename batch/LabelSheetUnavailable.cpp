// Labels in a build without libqrencode and libharu: the command and its
// options are there, the PDF is not.
#include "batch/LabelSheet.h"

namespace kestrun::batch {

bool LabelsAvailable() { return false; }

std::string LabelsUnavailableText() {
  return "labels are not available in this build (it was made without libqrencode and libharu)";
}

bool DrawLabelSheet(const std::vector<LabelRecord>&, LabelLayout, ILabelCanvas&, std::string& error) {
  error = LabelsUnavailableText();
  return false;
}

bool WriteLabelSheet(const std::vector<LabelRecord>&, LabelLayout, const std::string&, std::string& error) {
  error = LabelsUnavailableText();
  return false;
}

}  // namespace kestrun::batch
