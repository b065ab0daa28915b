// "Provisioning": every port of the machine on a row, with the tracker on it
// (IMEI, ICCID, firmware, signal), what its job is doing, a progress bar,
// the result and the time taken; the template and per-tracker table
// choosers; Identify, Provision, Verify, Read to files and Stop, one job per
// ticked port, all at once; per-row Stop and Retry; station mode, where each
// ticked port starts the chosen action when a tracker is plugged in and
// Next Tracker starts the next one on a port that stays; a summary of the
// batch; and the journal's latest rows. The rows and jobs live in
// CProvisioningModel; this window shows them. Closing it stops every job
// and closes every port.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "ui/ProvisioningChoices.h"
#include "ui/ProvisioningJournal.h"
#include "ui/ProvisioningTable.h"
#include "window/LatestWork.h"
#include "window/ProvisioningModel.h"
#include "window/RefusalRecheck.h"

namespace kestrun {

class CProvisioningWindow : public QWidget {
  Q_OBJECT
 public:
  // `workDir`: where MainSetting.ini is; `discovery`: where ports are found.
  // `logDir`: where the ports' traffic logs go (empty: `workDir`).
  CProvisioningWindow(const DiscoveryPaths& discovery, const std::string& workDir, const std::string& logDir = {},
                      QWidget* parent = nullptr);
  ~CProvisioningWindow() override;

  CProvisioningModel& model() { return model_; }
  QTableView* rowsView() const { return rows_; }
  QLineEdit* templateEdit() const { return template_; }
  QLineEdit* tableEdit() const { return table_; }
  QPushButton* button(ProvisioningAction action) const;
  QPushButton* stopButton() const { return stop_; }
  QCheckBox* stationBox() const { return station_; }
  QComboBox* stationActionList() const { return stationAction_; }
  QPushButton* nextButton() const { return next_; }
  QPushButton* stopRowsButton() const { return stopRows_; }
  QPushButton* retryButton() const { return retry_; }
  QPushButton* tickAllButton() const { return tickAll_; }
  QPushButton* untickAllButton() const { return untickAll_; }
  QCheckBox* onlyTrackersBox() const { return onlyTrackers_; }
  QLabel* summaryLabel() const { return summary_; }
  QLabel* messageLabel() const { return message_; }
  QLabel* journalProblemLabel() const { return journalProblem_; }
  QTableWidget* journalView() const { return journal_->rowsView(); }
  QLineEdit* journalImeiEdit() const { return journal_->imeiEdit(); }
  QComboBox* journalOutcomeList() const { return journal_->outcomeList(); }
  QTabWidget* tabs() const { return tabs_; }

  // Replaceable for tests: the output folder Read to files asks for (empty: cancelled).
  std::function<QString()> chooseFolder;
  // Replaceable for tests: whether to stop the job of a running row being unticked.
  std::function<bool(const QString& question)> confirmStop;
  // Replaceable for tests: checks whether a refused action could start with
  // the choices now (the model's Check). Runs on the checks' worker thread;
  // set before the first check. `stop` turns true when a newer check (or the
  // window's close) no longer wants the answer.
  std::function<bool(ProvisioningAction, const ProvisioningInputs&, std::string& error,
                     const std::atomic<bool>& stop)>
      checkChoices;

  // Starts `action` on the ticked rows once the model's preparation
  // answers (a refusal is shown then); false when refused at once (shown),
  // or while another start is being prepared (nothing shown).
  bool Run(ProvisioningAction action);
  // Reads the journal's latest rows again, filtered.
  void RefreshJournal();
  // Space on the rows: the next tracker on selected station rows whose job
  // ended while the tracker stayed; otherwise ticks the selected rows, or
  // unticks them when all are ticked.
  void ToggleSelected();
  // Ticks or unticks a row; unticking a running row asks whether to stop its job.
  void SetTicked(std::size_t row, bool ticked);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 signals:
  void busyChanged(bool busy);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // The parts the constructor lays out, top to bottom (ProvisioningWindowParts.cpp).
  void AddChoosers(QVBoxLayout& layout);
  void AddStationLine(QVBoxLayout& layout);
  QHBoxLayout* AddButtons(QVBoxLayout& layout);  // the row of buttons, for the labels bar
  void AddPages(QVBoxLayout& layout);
  void ListenToModel();

  ProvisioningInputs Inputs(ProvisioningAction action);
  // `refusal`: the message says why `action` could not start, for a cause in the choices (the
  // files, Main Setting, the journal); it goes when a changed choice removes that cause.
  void ShowMessage(const QString& text, std::optional<ProvisioningAction> refusal = std::nullopt);
  // A start refused for the ports: it goes when a tick or station mode changes.
  void ShowPortsRefusal(const std::string& error);
  // A choice changed while a refusal is shown: checks it again on the
  // checks' worker thread; ShowCheck shows the answer on this one.
  void RecheckRefusal();
  void ShowCheck();
  void StartAlone(const QModelIndex& index);
  // What became of a start once its preparation answered.
  void ShowPrepared(const PreparedStart& start);
  // Which controls can start something now.
  void ShowControls();
  void SetStation(bool on);
  void ShowRows();
  void ShowSummary();
  void ShowRowMenu(const QPoint& at);
  std::vector<std::size_t> SelectedRows() const;
  ProvisioningAction StationAction() const;

  // What the jobs and the model's preparation report is applied through it,
  // on the window thread; declared before the model, which joins the
  // preparation's worker (whose `wake` posts to it) as it goes.
  QObject deliveries_;
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
  QCheckBox* station_;
  QComboBox* stationAction_;
  QPushButton* next_;
  QPushButton* stopRows_;
  QPushButton* retry_;
  QPushButton* tickAll_;
  QPushButton* untickAll_;
  QCheckBox* onlyTrackers_;
  QLabel* summary_;
  QLabel* message_;
  // The refusal shown, which a changed choice checks again.
  CRefusalRecheck recheck_;
  // Typing in the Template and Table fields checks again once it pauses.
  QTimer recheckPause_;
  QLabel* journalProblem_;
  CProvisioningJournal* journal_;
  // What the window remembers in MainSetting.ini.
  CProvisioningChoices* choices_ = nullptr;
  QTimer portPoll_;     // ports come and go: the list is read again every two seconds
  QTimer clock_;        // the running rows' time
  ProvisioningAction lastAction_ = ProvisioningAction::Provision;

  struct CheckRequest {
    ProvisioningAction action;
    ProvisioningInputs inputs;
  };
  struct CheckAnswer {
    bool ok = false;
    std::string error;
  };
  // Last: a check under way ends before the model and the widgets go.
  CLatestWork<CheckRequest, CheckAnswer> checks_{
      [this](const CheckRequest& request, const std::atomic<bool>& superseded) {
        CheckAnswer answer;
        answer.ok = checkChoices(request.action, request.inputs, answer.error, superseded);
        return answer;
      }};
};

}  // namespace kestrun
