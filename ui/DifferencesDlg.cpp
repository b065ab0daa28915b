#include "ui/DifferencesDlg.h"

#include <QHeaderView>
#include <QVBoxLayout>

#include "ui/DialogUnits.h"

namespace kestrun {

CDifferencesDlg::CDifferencesDlg(QWidget* owner)
    : QDialog(owner,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint) {
  setModal(false);
  setAttribute(Qt::WA_ShowWithoutActivating);  // the focus stays on the form
  setWindowTitle("Compare With Tracker");
  setAccessibleName("Compare With Tracker");
  setFont(BaseFont(10));
  auto* layout = new QVBoxLayout(this);
  summary_ = new QLabel(this);
  table_ = new QTableWidget(0, 4, this);
  table_->setHorizontalHeaderLabels({"Section", "Key", "Form", "Tracker"});
  table_->setAccessibleName("Differences");
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  // Section, key and form value as wide as they need; the tracker value takes the rest.
  for (int column = 0; column < 3; ++column)
    table_->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
  layout->addWidget(summary_);
  layout->addWidget(table_);
  const CDialogUnits du(font());
  resize(du.Size(287, 150));
}

void CDifferencesDlg::Show(const std::vector<Difference>& differences) {
  const std::size_t n = differences.size();
  summary_->setText(n == 0 ? QString("No Difference") : QString("Keys that differ: %1").arg(n));
  table_->setRowCount(static_cast<int>(n));
  for (std::size_t row = 0; row < n; ++row) {
    const Difference& d = differences[row];
    const std::string cells[] = {d.section, d.key, d.fileValue, d.trackerValue};
    for (int column = 0; column < 4; ++column)
      table_->setItem(static_cast<int>(row), column,
                      new QTableWidgetItem(QString::fromStdString(cells[column])));
  }
  show();
  raise();
}

void CDifferencesDlg::Clear() {
  summary_->clear();
  table_->setRowCount(0);
  hide();
}

}  // namespace kestrun
