#include "ui/ProvisioningWindow.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/Icons.h"
#include "ui/LabelPrintBar.h"
#include "window/ProvisioningRows.h"
#include "window/ProvisioningSummary.h"

namespace kestrun {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The actions station mode can start by itself, as its list shows them.
constexpr ProvisioningAction kStationActions[] = {ProvisioningAction::Identify, ProvisioningAction::Provision,
                                                  ProvisioningAction::Verify};

}  // namespace

CProvisioningWindow::CProvisioningWindow(const DiscoveryPaths& discovery, const std::string& workDir,
                                         const std::string& logDir, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(discovery, workDir, logDir) {
  setWindowTitle("Provisioning");
  setAccessibleName("Provisioning");
  setWindowIcon(AppIcon());
  setAttribute(Qt::WA_DeleteOnClose, false);

  auto* layout = new QVBoxLayout(this);
  AddChoosers(*layout);
  AddStationLine(*layout);
  QHBoxLayout* buttons = AddButtons(*layout);
  AddPages(*layout);
  // Labels for the selected rows (or the batch), after the action buttons.
  auto* labels = new CLabelPrintBar(model_, rows_, this);
  connect(labels, &CLabelPrintBar::message, this, [this](const QString& text) { ShowMessage(text); });
  buttons->insertWidget(static_cast<int>(std::size(buttons_)), labels);
  ListenToModel();
  // A refusal goes when the choice it was about changes and the cause is
  // gone. The check reads files and the journal: it runs on the checks'
  // worker thread, for typing once it pauses (or the field is left).
  checkChoices = [this](ProvisioningAction action, const ProvisioningInputs& inputs, std::string& error,
                        const std::atomic<bool>& stop) { return model_.Check(action, inputs, error, &stop); };
  checks_.wake = [this] { QMetaObject::invokeMethod(this, [this] { ShowCheck(); }, Qt::QueuedConnection); };
  recheckPause_.setSingleShot(true);
  recheckPause_.setInterval(300);
  connect(&recheckPause_, &QTimer::timeout, this, [this] { RecheckRefusal(); });
  for (QLineEdit* field : {template_, table_}) {
    connect(field, &QLineEdit::textChanged, &recheckPause_, qOverload<>(&QTimer::start));
    // The timer is the context: a field loses the focus (and says its
    // editing finished) while the window's children are deleted, after the
    // timer and the checks are gone, and the connection has gone with them.
    connect(field, &QLineEdit::editingFinished, &recheckPause_, [this] {
      if (recheckPause_.isActive()) RecheckRefusal();
    });
  }
  connect(assign_, &QCheckBox::toggled, this, [this] { RecheckRefusal(); });
  connect(skipDone_, &QCheckBox::toggled, this, [this] { RecheckRefusal(); });
  confirmStop = [this](const QString& question) {
    return QMessageBox::question(this, "Provisioning", question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
  };
  chooseFolder = [this] { return choices_->ChooseFolder(FileKind::ReadToFiles, "Read to files"); };
  portPoll_.setInterval(2000);
  connect(&portPoll_, &QTimer::timeout, this, [this] { model_.RefreshPorts(); });
  portPoll_.start();
  clock_.setInterval(1000);
  connect(&clock_, &QTimer::timeout, this, [this] { table_model_.Tick(); });
  clock_.start();
  ShowRows();
  resize(1340, 640);
  choices_ = new CProvisioningChoices(
      workDir, {template_, table_, assign_, skipDone_, rows_, labels->layoutList()}, this);
  // The station's action is remembered, station mode itself is not: opened
  // with it on, the window would start writing trackers before anyone asked.
  choices_->BindStation(nullptr, stationAction_);
}

CProvisioningWindow::~CProvisioningWindow() {
  // Every job stops and closes its port before the rows and the table go; a
  // start still being prepared is dropped.
  model_.Shutdown();
  // The children are deleted after this window's members (in ~QWidget): a
  // field losing its focus, a view's selection or a tab going may signal
  // then, and must not reach this half-destroyed window, nor the choices
  // that read the fields. The model's calls back go as well (its `wake`
  // stays: the preparation's worker may read it until the model is
  // destroyed, which joins that worker, and it posts to `deliveries_`, which
  // outlives the model).
  for (QObject* child : findChildren<QObject*>()) {
    QObject::disconnect(child, nullptr, this, nullptr);
    if (choices_) QObject::disconnect(child, nullptr, choices_, nullptr);
  }
  // The children that keep a reference to the model go while it exists.
  delete journal_;
  journal_ = nullptr;
  qDeleteAll(findChildren<CLabelPrintBar*>());
  table_model_.tickRequested = nullptr;
  model_.rowChanged = nullptr;
  model_.rowsReset = nullptr;
  model_.rowFinished = nullptr;
  model_.busyChanged = nullptr;
  model_.prepared = nullptr;
}

QPushButton* CProvisioningWindow::button(ProvisioningAction action) const {
  return buttons_[static_cast<int>(action)];
}

ProvisioningInputs CProvisioningWindow::Inputs(ProvisioningAction action) {
  ProvisioningInputs inputs;
  inputs.templateFile = template_->text().toStdString();
  inputs.tableFile = table_->text().toStdString();
  inputs.assign = assign_->isChecked();
  inputs.skipDone = skipDone_->isChecked();
  if (action == ProvisioningAction::ReadToFiles) inputs.outputFolder = chooseFolder().toStdString();
  return inputs;
}

bool CProvisioningWindow::Run(ProvisioningAction action) {
  const ProvisioningInputs inputs = Inputs(action);
  if (action == ProvisioningAction::ReadToFiles && inputs.outputFolder.empty()) return false;
  std::string error;
  if (!model_.Start(action, inputs, error)) {
    ShowPortsRefusal(error);
    return false;
  }
  ShowControls();
  return true;
}

void CProvisioningWindow::ShowPrepared(const PreparedStart& start) {
  if (start.station && !start.started) {
    const QSignalBlocker quiet(station_);
    station_->setChecked(false);
  }
  if (start.started) {
    lastAction_ = start.action;
    ShowMessage({});
  } else if (start.aboutChoices) {
    ShowMessage(Text(start.error), start.action);
  } else {
    ShowPortsRefusal(start.error);
  }
  ShowControls();
  if (start.station) ShowRows();
}

void CProvisioningWindow::ShowControls() {
  // While the station runs (or is being prepared), its action and choices
  // stay as they were started; while a start is prepared, no other starts.
  const bool station = station_->isChecked(), preparing = model_.Preparing();
  for (QPushButton* button : buttons_) button->setEnabled(!station && !preparing);
  retry_->setEnabled(!preparing);
  station_->setEnabled(!preparing);
  for (QWidget* choice : std::initializer_list<QWidget*>{stationAction_, template_, table_, assign_, skipDone_})
    choice->setEnabled(!station);
  next_->setEnabled(model_.StationOn());
}

void CProvisioningWindow::StartAlone(const QModelIndex& index) {
  if (!index.isValid()) return;
  if (model_.StationOn()) {
    // A finished tracker's port that stays: the next tracker.
    if (!model_.NextTracker(static_cast<std::size_t>(index.row())))
      ShowMessage("Next Tracker: this port has no finished tracker that is still plugged in");
    else
      ShowMessage({});
    return;
  }
  const ProvisioningInputs inputs = Inputs(lastAction_);
  if (lastAction_ == ProvisioningAction::ReadToFiles && inputs.outputFolder.empty()) return;
  std::string error;
  if (model_.StartRow(static_cast<std::size_t>(index.row()), lastAction_, inputs, error))
    ShowControls();
  else
    ShowPortsRefusal(error);
}

void CProvisioningWindow::ShowMessage(const QString& text, std::optional<ProvisioningAction> refusal) {
  // A check under way was of the message this one replaces: its answer must not reach it.
  checks_.Drop();
  if (refusal && !text.isEmpty())
    recheck_.Refused(*refusal);
  else
    recheck_.Cleared();
  message_->setText(text);
  message_->setAccessibleName(text.isEmpty() ? QString("Message") : text);
  journalProblem_->setVisible(model_.journalProblem());
  journalProblem_->setToolTip(model_.journalProblem() ? text : QString());
  journalProblem_->setAccessibleName(model_.journalProblem() ? "Journal Problem: " + text
                                                             : QString("Journal Problem"));
}

void CProvisioningWindow::ShowPortsRefusal(const std::string& error) {
  if (error.empty()) return;
  ShowMessage(Text(error));
  recheck_.RefusedForPorts();
}

void CProvisioningWindow::RecheckRefusal() {
  recheckPause_.stop();
  if (const std::optional<ProvisioningAction> action = recheck_.Changed())
    checks_.Ask({*action, Inputs(*action)});
}

void CProvisioningWindow::ShowCheck() {
  const std::optional<CheckAnswer> answer = checks_.Take();
  if (!answer) return;
  const std::optional<ProvisioningAction> action = recheck_.refused();
  if (const std::optional<std::string> text = recheck_.Answered(answer->ok, answer->error))
    ShowMessage(Text(*text), action);
}

ProvisioningAction CProvisioningWindow::StationAction() const {
  return kStationActions[std::clamp(stationAction_->currentIndex(), 0, 2)];
}

void CProvisioningWindow::SetStation(bool on) {
  if (recheck_.PortsChanged()) ShowMessage({});
  if (on) {
    // Station mode starts once its preparation answers (ShowPrepared).
    const ProvisioningAction action = StationAction();
    std::string error;
    if (!model_.StartStation(action, Inputs(action), error)) {
      const QSignalBlocker quiet(station_);
      station_->setChecked(false);
      ShowPortsRefusal(error);
    }
  } else {
    // Turning station mode off stops its running jobs: asked first, as
    // unticking a running row is, since a stopped tracker is left half written.
    std::vector<int> running;
    for (const ProvisioningRow& row : model_.rows())
      if (row.watched && row.running) running.push_back(row.port);
    if (!running.empty()) {
      // The box shows station mode on while the question is asked.
      const QSignalBlocker quiet(station_);
      station_->setChecked(true);
      if (!confirmStop || !confirmStop(Text(StopQuestion(running)))) return;
      station_->setChecked(false);
    }
    model_.StopStation();
  }
  ShowControls();
  ShowRows();
}

void CProvisioningWindow::SetTicked(std::size_t row, bool ticked) {
  if (row >= model_.rows().size() || model_.rows()[row].checked == ticked) return;
  if (!ticked && model_.rows()[row].running) {
    if (!confirmStop || !confirmStop(Text(StopQuestion({model_.rows()[row].port})))) {
      table_model_.RowChanged(row);  // the check box shows the tick again
      return;
    }
    model_.StopRows({row});
  }
  model_.SetChecked(row, ticked);
  if (recheck_.PortsChanged()) ShowMessage({});
}

std::vector<std::size_t> CProvisioningWindow::SelectedRows() const {
  std::vector<std::size_t> rows;
  for (const QModelIndex& index : rows_->selectionModel()->selectedRows())
    if (!rows_->isRowHidden(index.row())) rows.push_back(static_cast<std::size_t>(index.row()));
  if (rows.empty() && rows_->currentIndex().isValid())
    rows.push_back(static_cast<std::size_t>(rows_->currentIndex().row()));
  std::sort(rows.begin(), rows.end());
  return rows;
}

void CProvisioningWindow::ToggleSelected() {
  const std::vector<std::size_t> rows = SelectedRows();
  if (rows.empty()) return;
  // Station mode: Space on finished rows starts their next trackers.
  if (model_.StationOn() && std::all_of(rows.begin(), rows.end(), [this](std::size_t r) {
        return model_.rows()[r].finished;
      })) {
    for (std::size_t r : rows) model_.NextTracker(r);
    return;
  }
  const bool tick = std::any_of(rows.begin(), rows.end(), [this](std::size_t r) { return !model_.rows()[r].checked; });
  for (std::size_t r : rows) SetTicked(r, tick);
}

bool CProvisioningWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == rows_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
      ToggleSelected();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void CProvisioningWindow::ShowRows() {
  const auto& rows = model_.rows();
  for (std::size_t i = 0; i < rows.size(); ++i)
    rows_->setRowHidden(static_cast<int>(i), onlyTrackers_->isChecked() && !rows[i].answered && !rows[i].running);
  ShowSummary();
}

void CProvisioningWindow::ShowSummary() {
  const QString text = Text(SummaryText(model_.finishedJobs()));
  summary_->setText(text);
  summary_->setAccessibleName(text.isEmpty() ? QString("Summary") : "Summary: " + text);
  summary_->setVisible(!text.isEmpty());
}

void CProvisioningWindow::ShowRowMenu(const QPoint& at) {
  const QModelIndex index = rows_->indexAt(at);
  if (!index.isValid()) return;
  if (!rows_->selectionModel()->isRowSelected(index.row(), {})) rows_->selectRow(index.row());
  QMenu menu(this);
  menu.addAction("Retry", retry_, &QPushButton::click);
  menu.addAction("Stop", stopRows_, &QPushButton::click);
  if (model_.StationOn())
    menu.addAction("Next Tracker", this, [this] {
      for (std::size_t r : SelectedRows()) model_.NextTracker(r);
    });
  menu.exec(rows_->viewport()->mapToGlobal(at));
}

void CProvisioningWindow::RefreshJournal() {
  std::string error;
  if (!journal_->Refresh(error)) ShowMessage(Text("journal " + error));
}

void CProvisioningWindow::closeEvent(QCloseEvent* event) {
  choices_->SaveNow();
  // Every engine stops and closes its port before the window goes.
  model_.Shutdown();
  model_.Deliver();
  stop_->setEnabled(false);
  emit busyChanged(false);
  QWidget::closeEvent(event);
}

}  // namespace kestrun
