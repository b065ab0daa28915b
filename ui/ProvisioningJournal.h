// The Provisioning window's Journal tab: the journal's latest rows, newest
// first, filtered by IMEI and by outcome, read again on Refresh, on Enter in
// the IMEI field and when another outcome is chosen.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QWidget>
#include <string>

#include "window/ProvisioningModel.h"

namespace kestrun {

class CProvisioningJournal : public QWidget {
  Q_OBJECT
 public:
  CProvisioningJournal(CProvisioningModel& model, QWidget* parent);

  QTableWidget* rowsView() const { return rows_; }
  QLineEdit* imeiEdit() const { return imei_; }
  QComboBox* outcomeList() const { return outcome_; }

  // Reads the rows again with the filter; false with `error` when the
  // journal cannot be read (the table is left empty).
  bool Refresh(std::string& error);

 signals:
  // The user asked for the rows again.
  void refreshRequested();

 private:
  CProvisioningModel& model_;
  QLineEdit* imei_;
  QComboBox* outcome_;
  QTableWidget* rows_;
};

}  // namespace kestrun
