#include "ui/LabelPrintBar.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <memory>

#include "batch/LabelSheet.h"
#include "ui/LabelPreview.h"

namespace kestrun {

namespace {

// "a4-3x8: 3 x 8 labels of 70 x 36 mm", from the layouts' own table.
QString LayoutText(const batch::LabelGeometry& g) {
  const QString size = QString("%1 x %2 mm").arg(g.labelWidth).arg(g.labelHeight);
  if (g.columns * g.rows == 1) return QString("%1: one %2 label per page").arg(g.name, size);
  return QString("%1: %2 x %3 labels of %4").arg(g.name).arg(g.columns).arg(g.rows).arg(size);
}

}  // namespace

CLabelPrintBar::CLabelPrintBar(const CProvisioningModel& model, QTableView* view, QWidget* parent)
    : QWidget(parent), model_(model), view_(view) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  print_ = new QPushButton("Print Labels...", this);
  print_->setAccessibleName("Print Labels...");
  layout_ = new QComboBox(this);
  layout_->setAccessibleName("Label format");
  layout_->setToolTip("The page format of the labels");
  for (const std::string& name : batch::LabelLayoutNames()) {
    batch::LabelLayout each;
    batch::ParseLabelLayout(name, each);
    layout_->addItem(LayoutText(batch::GeometryOf(each)), static_cast<int>(each));
  }
  if (batch::LabelsAvailable()) {
    print_->setToolTip(
        "Labels with IMEI and ICCID as text and QR code, firmware and date: for the selected rows, or for "
        "every row with an IMEI when none is selected; shown before printing");
  } else {
    // Said on the button itself: a disabled button still shows its tooltip.
    const QString why = QString::fromStdString(batch::LabelsUnavailableText());
    print_->setEnabled(false);
    layout_->setEnabled(false);
    print_->setToolTip(why.left(1).toUpper() + why.mid(1));
    print_->setAccessibleDescription(print_->toolTip());
  }
  layout->addWidget(print_);
  layout->addWidget(layout_);
  connect(print_, &QPushButton::clicked, this, [this] { Print(); });
  showPreview = [](QDialog& preview) { preview.exec(); };
}

batch::LabelLayout CLabelPrintBar::Layout() const {
  return static_cast<batch::LabelLayout>(layout_->currentData().toInt());
}

LabelChoice CLabelPrintBar::Choice() const {
  std::vector<std::size_t> selected;
  if (view_->selectionModel())
    for (const QModelIndex& index : view_->selectionModel()->selectedIndexes())
      selected.push_back(static_cast<std::size_t>(index.row()));
  const std::string today = QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate).toStdString();
  return LabelsForRows(model_.rows(), selected, today);
}

bool CLabelPrintBar::Print() {
  const LabelChoice choice = Choice();
  emit message(QString::fromStdString(choice.note));
  if (choice.labels.empty()) return false;
  QString error;
  const std::unique_ptr<QDialog> preview(MakeLabelPreview(window(), choice.labels, Layout(), error));
  if (!preview) {
    emit message("Labels: " + error);
    return false;
  }
  // Which rows the labels are for, said where they are looked at.
  const int count = static_cast<int>(choice.labels.size());
  preview->setWindowTitle(QString("Print Labels: %1 label%2 for %3")
                              .arg(count)
                              .arg(count == 1 ? "" : "s")
                              .arg(choice.batch ? "every row with an IMEI" : "the selected rows"));
  showPreview(*preview);
  return true;
}

}  // namespace kestrun
