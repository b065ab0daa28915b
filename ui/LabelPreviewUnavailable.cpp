// The label preview in a build without the label libraries (and without Qt's
// print support): there is none, and the reason is said.
#include "batch/LabelSheet.h"
#include "ui/LabelPreview.h"

namespace kestrun {

QDialog* MakeLabelPreview(QWidget*, const std::vector<batch::LabelRecord>&, batch::LabelLayout,
                          QString& error) {
  error = QString::fromStdString(batch::LabelsUnavailableText());
  return nullptr;
}

}  // namespace kestrun
