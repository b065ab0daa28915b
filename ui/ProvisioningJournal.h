// The Provisioning window's Journal tab: the journal's latest rows, newest
// first, filtered by IMEI and by outcome ("failed (still)": the trackers
// whose latest row failed), read again on Refresh, on Enter in the IMEI field
// and when another outcome is chosen. With a shared journal set it lists the
// server's rows of every station when the server answers, else this
// station's own rows with a warning, and says which above the rows; the
// server is read on a worker thread (CJournalTabReader), never on the
// window's.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QWidget>
#include <string>

#include "window/JournalTabReader.h"
#include "window/ProvisioningModel.h"

namespace kestrun {

class CProvisioningJournal : public QWidget {
  Q_OBJECT
 public:
  CProvisioningJournal(CProvisioningModel& model, QWidget* parent);

  QTableWidget* rowsView() const { return rows_; }
  QLineEdit* imeiEdit() const { return imei_; }
  QComboBox* outcomeList() const { return outcome_; }
  // Where the rows are from, or why they are only this station's.
  QLabel* sourceLabel() const { return source_; }
  // True while the shared journal is being read.
  bool Reading() const { return reader_.Reading(); }

  // Reads the rows again with the filter: a journal file at once (false with
  // `error` when it cannot be read; the table is left empty), a shared
  // journal on the worker thread (the rows follow when it has answered).
  bool Refresh(std::string& error);

 signals:
  // The user asked for the rows again.
  void refreshRequested();

 private:
  // Shows what a read came to; false with `error` when it failed.
  bool Show(const JournalTabResult& result, std::string& error);
  void SetSource(const QString& text, bool warning);

  CProvisioningModel& model_;
  QLineEdit* imei_;
  QComboBox* outcome_;
  QLabel* source_;
  QTableWidget* rows_;
  // Last: a server read under way ends (and is joined) before the widgets go.
  CJournalTabReader reader_;
};

}  // namespace kestrun
