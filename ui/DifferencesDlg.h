// "Compare With Tracker": the keys whose form value differs from the
// tracker's, one row each (section, key, form value, tracker value). Closing
// it only hides it; the next comparison fills and shows it again. A load of a
// config file and a Read empty and hide it.
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
  // Empties the rows and hides the window (the form has changed under it).
  void Clear();
  QTableWidget* table() const { return table_; }

 private:
  QLabel* summary_;
  QTableWidget* table_;
};

}  // namespace kestrun
