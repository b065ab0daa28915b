// "Provisioning": every port of the machine on a row, with the tracker on it
// (IMEI, ICCID, firmware, signal), what its job is doing, a progress bar,
// the result and the time taken; the template and per-tracker table
// choosers; Identify, Provision, Verify, Read to files and Stop, one job per
// ticked port, all at once; and the journal's latest rows. The rows and jobs
// live in CProvisioningModel; this window shows them. Closing it stops every
// job and closes every port.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "ui/ProvisioningChoices.h"
#include "ui/ProvisioningJournal.h"
#include "ui/ProvisioningTable.h"
#include "window/ProvisioningModel.h"

namespace kestrun {

class CProvisioningWindow : public QWidget {
  Q_OBJECT
 public:
  // `workDir`: where MainSetting.ini is; `discovery`: where ports are found.
  CProvisioningWindow(const DiscoveryPaths& discovery, const std::string& workDir, QWidget* parent = nullptr);
  ~CProvisioningWindow() override;

  CProvisioningModel& model() { return model_; }
  QTableView* rowsView() const { return rows_; }
  QLineEdit* templateEdit() const { return template_; }
  QLineEdit* tableEdit() const { return table_; }
  QPushButton* button(ProvisioningAction action) const;
  QPushButton* stopButton() const { return stop_; }
  QLabel* messageLabel() const { return message_; }
  QLabel* journalProblemLabel() const { return journalProblem_; }
  QTableWidget* journalView() const { return journal_->rowsView(); }
  QLineEdit* journalImeiEdit() const { return journal_->imeiEdit(); }
  QComboBox* journalOutcomeList() const { return journal_->outcomeList(); }
  QTabWidget* tabs() const { return tabs_; }

  // Replaceable for tests: the output folder Read to files asks for (empty: cancelled).
  std::function<QString()> chooseFolder;

  // Starts `action` on the ticked rows; false with the refusal shown.
  bool Run(ProvisioningAction action);
  // Reads the journal's latest rows again, filtered.
  void RefreshJournal();

 signals:
  void busyChanged(bool busy);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  ProvisioningInputs Inputs(ProvisioningAction action);
  void ShowMessage(const QString& text);
  void StartAlone(const QModelIndex& index);

  CProvisioningModel model_;
  CProvisioningTable table_model_{model_};
  QTabWidget* tabs_;
  QTableView* rows_;
  QLineEdit* template_;
  QLineEdit* table_;
  QCheckBox* assign_;
  QCheckBox* skipDone_;
  QPushButton* buttons_[4] = {};
  QPushButton* stop_;
  QLabel* message_;
  QLabel* journalProblem_;
  CProvisioningJournal* journal_;
  // What the window remembers in MainSetting.ini.
  CProvisioningChoices* choices_ = nullptr;
  QTimer portPoll_;     // ports come and go: the list is read again every two seconds
  QTimer clock_;        // the running rows' time
  QObject deliveries_;  // what the jobs report is applied through it, on the window thread
  ProvisioningAction lastAction_ = ProvisioningAction::Provision;
  QString lastFolder_;
};

}  // namespace kestrun
