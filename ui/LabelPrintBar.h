// "Print Labels..." in the Provisioning window and its page format: labels
// for the selected rows of the trackers' table, or for the batch (every row
// with an IMEI) when none is selected, shown in Qt's print preview, from
// which Qt's print dialog prints them (or saves them as a PDF). In a build
// without labels the button is there but disabled, its tooltip saying why.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTableView>
#include <QWidget>
#include <functional>

#include "window/LabelRows.h"
#include "window/ProvisioningModel.h"

namespace kestrun {

class CLabelPrintBar : public QWidget {
  Q_OBJECT
 public:
  // `model`: the rows; `view`: the table whose selected rows get labels.
  CLabelPrintBar(const CProvisioningModel& model, QTableView* view, QWidget* parent);

  QPushButton* printButton() const { return print_; }
  QComboBox* layoutList() const { return layout_; }
  batch::LabelLayout Layout() const;
  // The labels the button prints now, dated today (UTC, as the journal's times are).
  LabelChoice Choice() const;

  // Replaceable for tests: shows the preview (default: modal, until it closes).
  std::function<void(QDialog& preview)> showPreview;

  // Opens the preview of the chosen labels; false with `message` said when there is none.
  bool Print();

 signals:
  // Why no labels were printed, or which rows got none; empty: nothing to say.
  void message(const QString& text);

 private:
  const CProvisioningModel& model_;
  QTableView* view_;
  QPushButton* print_;
  QComboBox* layout_;
};

}  // namespace kestrun
