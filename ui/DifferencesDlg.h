// "Compare With Tracker": the keys whose form value differs from the
// tracker's, one row each (section, key, form value, tracker value). Closing
// it only hides it; the next comparison fills and shows it again.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QTableWidget>
#include <vector>

#include "settings/KeyCompare.h"

namespace kestrun {

class CDifferencesDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CDifferencesDlg(QWidget* owner);
  // Replaces the rows and shows the window without taking the focus from the form.
  void Show(const std::vector<Difference>& differences);
  QTableWidget* table() const { return table_; }

 private:
  QLabel* summary_;
  QTableWidget* table_;
};

}  // namespace kestrun
