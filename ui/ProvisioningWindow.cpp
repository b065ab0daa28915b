#include "ui/ProvisioningWindow.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/Icons.h"
#include "ui/LabelPrintBar.h"
#include "window/ProvisioningSummary.h"

namespace kestrun {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

struct ButtonEntry {
  ProvisioningAction action;
  const char* text;
  const char* tip;
};
constexpr ButtonEntry kButtons[] = {
    {ProvisioningAction::Identify, "Identify",
     "Ask each ticked tracker its IMEI, ICCID, firmware and signal"},
    {ProvisioningAction::Provision, "Provision",
     "Write the template with each tracker's row of the table, read it back, compare and record it"},
    {ProvisioningAction::Verify, "Verify", "Write the template, read it back and compare"},
    {ProvisioningAction::ReadToFiles, "Read to files...",
     "Read each ticked tracker into a config file named by its IMEI"},
};

// The actions station mode can start by itself, as its list shows them.
constexpr ProvisioningAction kStationActions[] = {ProvisioningAction::Identify, ProvisioningAction::Provision,
                                                  ProvisioningAction::Verify};
const char* const kStationActionNames[] = {"Identify", "Provision", "Verify"};

// A push button with its accessible name and tooltip.
QPushButton* Button(QWidget* parent, const QString& text, const QString& tip) {
  auto* button = new QPushButton(text, parent);
  button->setAccessibleName(text);
  button->setToolTip(tip);
  return button;
}

}  // namespace

CProvisioningWindow::CProvisioningWindow(const DiscoveryPaths& discovery, const std::string& workDir,
                                         QWidget* parent)
    : QWidget(parent, Qt::Window), model_(discovery, workDir) {
  setWindowTitle("Provisioning");
  setAccessibleName("Provisioning");
  setWindowIcon(AppIcon());
  setAttribute(Qt::WA_DeleteOnClose, false);

  auto* layout = new QVBoxLayout(this);
  auto* files = new QGridLayout;
  const auto chooser = [&](int line, FileKind kind, const QString& caption, const QString& filter,
                           QLineEdit*& edit) {
    auto* label = new QLabel(caption, this);
    edit = new QLineEdit(this);
    edit->setAccessibleName(caption);
    label->setBuddy(edit);
    auto* browse = new QPushButton("Browse...", this);
    browse->setAccessibleName(caption + " Browse...");
    QLineEdit* target = edit;
    connect(browse, &QPushButton::clicked, this,
            [this, kind, target, caption, filter] { choices_->ChooseFile(kind, target, caption, filter); });
    files->addWidget(label, line, 0);
    files->addWidget(edit, line, 1);
    files->addWidget(browse, line, 2);
  };
  chooser(0, FileKind::Template, "Template:", "Config files (*.ini);;All files (*)", template_);
  chooser(1, FileKind::Table, "Table:", "Tables (*.csv);;All files (*)", table_);
  layout->addLayout(files);
  // The command line's --assign and --skip-done.
  auto* options = new QHBoxLayout;
  assign_ = new QCheckBox("Deal rows in order", this);
  assign_->setAccessibleName("Deal rows in order");
  assign_->setToolTip(
      "For a table without an IMEI or COM column: each tracker gets the next free row, and the journal "
      "remembers which, so a tracker plugged in again gets its own row");
  skipDone_ = new QCheckBox("Skip trackers already done", this);
  skipDone_->setAccessibleName("Skip trackers already done");
  skipDone_->setToolTip("Skip a tracker whose last journal row shows these same settings verified");
  options->addWidget(assign_);
  options->addWidget(skipDone_);
  options->addStretch();
  layout->addLayout(options);

  // Station mode: the chosen action starts by itself on each ticked port
  // when a tracker is plugged in.
  auto* stationLine = new QHBoxLayout;
  station_ = new QCheckBox("Start each tracker as it is plugged in", this);
  station_->setAccessibleName("Start each tracker as it is plugged in");
  station_->setToolTip(
      "Station mode: each ticked port runs the chosen action as soon as a tracker appears on it; ticked rows "
      "stay ticked when a tracker is unplugged");
  stationAction_ = new QComboBox(this);
  stationAction_->setAccessibleName("Action for each plugged-in tracker");
  for (const char* name : kStationActionNames) stationAction_->addItem(name);
  stationAction_->setCurrentIndex(1);
  next_ = Button(this, "Next Tracker",
                 "Start the next tracker on every port whose tracker is finished and stayed plugged in (F5)");
  next_->setShortcut(QKeySequence(Qt::Key_F5));
  next_->setEnabled(false);
  onlyTrackers_ = new QCheckBox("Only ports with a tracker", this);
  onlyTrackers_->setAccessibleName("Only ports with a tracker");
  onlyTrackers_->setToolTip("Hide the ports where no tracker ever answered");
  stationLine->addWidget(station_);
  stationLine->addWidget(stationAction_);
  stationLine->addWidget(next_);
  stationLine->addStretch();
  stationLine->addWidget(onlyTrackers_);
  layout->addLayout(stationLine);
  connect(station_, &QCheckBox::toggled, this, [this](bool on) { SetStation(on); });
  connect(next_, &QPushButton::clicked, this, [this] {
    if (model_.NextAll() == 0)
      ShowMessage("Next Tracker: no port has a finished tracker that is still plugged in");
    else
      ShowMessage({});
  });
  connect(onlyTrackers_, &QCheckBox::toggled, this, [this] { ShowRows(); });

  auto* buttons = new QHBoxLayout;
  for (const ButtonEntry& b : kButtons) {
    auto* button = new QPushButton(b.text, this);
    button->setAccessibleName(b.text);
    button->setToolTip(b.tip);
    const ProvisioningAction action = b.action;
    connect(button, &QPushButton::clicked, this, [this, action] { Run(action); });
    buttons->addWidget(button);
    buttons_[static_cast<int>(b.action)] = button;
  }
  stop_ = Button(this, "Stop", "Stop every running job at its next step");
  stop_->setEnabled(false);
  connect(stop_, &QPushButton::clicked, this, [this] { model_.Stop(); });
  tickAll_ = Button(this, "Tick All", "Tick every port shown");
  untickAll_ = Button(this, "Untick All", "Untick every port shown");
  retry_ = Button(this, "Retry Selected", "Start the selected rows again");
  stopRows_ = Button(this, "Stop Selected", "Stop the jobs of the selected rows at their next step");
  const auto tickShown = [this](bool ticked) {
    for (std::size_t i = 0; i < model_.rows().size(); ++i)
      if (!rows_->isRowHidden(static_cast<int>(i))) SetTicked(i, ticked);
  };
  connect(tickAll_, &QPushButton::clicked, this, [tickShown] { tickShown(true); });
  connect(untickAll_, &QPushButton::clicked, this, [tickShown] { tickShown(false); });
  connect(stopRows_, &QPushButton::clicked, this, [this] { model_.StopRows(SelectedRows()); });
  connect(retry_, &QPushButton::clicked, this, [this] {
    std::string error;
    if (!model_.Retry(SelectedRows(), lastAction_, Inputs(lastAction_), error))
      ShowMessage(Text(error), lastAction_);
    else
      ShowMessage({});
  });
  buttons->addStretch();
  buttons->addWidget(tickAll_);
  buttons->addWidget(untickAll_);
  buttons->addSpacing(12);
  buttons->addWidget(retry_);
  buttons->addWidget(stopRows_);
  buttons->addWidget(stop_);
  layout->addLayout(buttons);

  tabs_ = new QTabWidget(this);
  tabs_->setAccessibleName("Provisioning pages");
  rows_ = new QTableView(tabs_);
  table_model_.ShowIn(*rows_);
  rows_->setAccessibleName("Trackers");
  rows_->setToolTip(
      "Space ticks the selected ports; Enter or a double-click starts the last command on that port alone, "
      "or in station mode the next tracker on a finished port");
  rows_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  rows_->installEventFilter(this);
  rows_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(rows_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) { ShowRowMenu(at); });
  table_model_.tickRequested = [this](std::size_t row, bool ticked) { SetTicked(row, ticked); };
  // Enter and a double-click start the last command on that row alone.
  connect(rows_, &QTableView::activated, this, [this](const QModelIndex& index) { StartAlone(index); });
  // The rows with the batch's summary under them.
  auto* trackers = new QWidget(tabs_);
  auto* trackersLayout = new QVBoxLayout(trackers);
  trackersLayout->setContentsMargins(0, 0, 0, 0);
  rows_->setParent(trackers);
  trackersLayout->addWidget(rows_, 1);
  summary_ = new QLabel(trackers);
  summary_->setAccessibleName("Summary");
  trackersLayout->addWidget(summary_);
  tabs_->addTab(trackers, "Trackers");
  // Labels for the selected rows (or the batch), after the action buttons.
  auto* labels = new CLabelPrintBar(model_, rows_, this);
  connect(labels, &CLabelPrintBar::message, this, [this](const QString& text) { ShowMessage(text); });
  buttons->insertWidget(static_cast<int>(std::size(kButtons)), labels);

  journal_ = new CProvisioningJournal(model_, tabs_);
  tabs_->addTab(journal_, "Journal");
  connect(journal_, &CProvisioningJournal::refreshRequested, this, [this] { RefreshJournal(); });
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int tab) {
    if (tab == 1) RefreshJournal();
  });
  layout->addWidget(tabs_, 1);

  message_ = new QLabel(this);
  message_->setAccessibleName("Message");
  message_->setWordWrap(true);
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(message_);
  // The state the main window's status bar shows as well: the journal's file is damaged.
  journalProblem_ = new QLabel("Journal Problem", this);
  journalProblem_->setAccessibleName("Journal Problem");
  journalProblem_->setStyleSheet("QLabel { color: #a05a00; }");
  journalProblem_->hide();
  layout->addWidget(journalProblem_);

  // What the jobs report crosses to this thread through a queued call.
  model_.wake = [this] {
    QMetaObject::invokeMethod(
        &deliveries_, [this] { model_.Deliver(); }, Qt::QueuedConnection);
  };
  model_.rowChanged = [this](std::size_t row) {
    table_model_.RowChanged(row);
    ShowRows();
  };
  model_.rowsReset = [this] {
    table_model_.Reset();
    ShowRows();
  };
  model_.rowFinished = [this](const ProvisioningRow&) {
    ShowSummary();
    if (tabs_->currentIndex() == 1) RefreshJournal();
  };
  model_.busyChanged = [this](bool busy) {
    stop_->setEnabled(busy);
    emit busyChanged(busy);
  };
  // A refusal goes when the choice it was about changes and the cause is gone.
  connect(template_, &QLineEdit::textChanged, this, [this] { RecheckRefusal(); });
  connect(table_, &QLineEdit::textChanged, this, [this] { RecheckRefusal(); });
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
  choices_ = new CProvisioningChoices(workDir, {template_, table_, assign_, skipDone_, rows_}, this);
  // The station's action is remembered, station mode itself is not: opened
  // with it on, the window would start writing trackers before anyone asked.
  choices_->BindStation(nullptr, stationAction_);
}

CProvisioningWindow::~CProvisioningWindow() {
  // Every job stops and closes its port before the rows and the table go.
  model_.Shutdown();
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
    ShowMessage(Text(error), action);
    return false;
  }
  lastAction_ = action;
  ShowMessage({});
  return true;
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
  if (!model_.StartRow(static_cast<std::size_t>(index.row()), lastAction_, inputs, error))
    ShowMessage(Text(error), lastAction_);
  else
    ShowMessage({});
}

void CProvisioningWindow::ShowMessage(const QString& text, std::optional<ProvisioningAction> refusal) {
  refusal_ = text.isEmpty() ? std::nullopt : refusal;
  message_->setText(text);
  message_->setAccessibleName(text.isEmpty() ? QString("Message") : text);
  journalProblem_->setVisible(model_.journalProblem());
  journalProblem_->setToolTip(model_.journalProblem() ? text : QString());
  journalProblem_->setAccessibleName(model_.journalProblem() ? "Journal Problem: " + text
                                                             : QString("Journal Problem"));
}

void CProvisioningWindow::RecheckRefusal() {
  // Read to files asks for its folder: nothing to check again without asking.
  if (!refusal_ || *refusal_ == ProvisioningAction::ReadToFiles) return;
  std::string error;
  const ProvisioningAction action = *refusal_;
  if (model_.Check(action, Inputs(action), error))
    ShowMessage({});
  else
    ShowMessage(Text(error), action);
}

ProvisioningAction CProvisioningWindow::StationAction() const {
  return kStationActions[std::clamp(stationAction_->currentIndex(), 0, 2)];
}

void CProvisioningWindow::SetStation(bool on) {
  if (on) {
    const ProvisioningAction action = StationAction();
    std::string error;
    if (!model_.StartStation(action, Inputs(action), error)) {
      const QSignalBlocker quiet(station_);
      station_->setChecked(false);
      ShowMessage(Text(error), action);
      return;
    }
    lastAction_ = action;
    ShowMessage({});
  } else {
    model_.StopStation();
  }
  // While the station runs, its action and choices stay as they were started.
  for (QPushButton* button : buttons_) button->setEnabled(!on);
  for (QWidget* choice : std::initializer_list<QWidget*>{stationAction_, template_, table_, assign_, skipDone_})
    choice->setEnabled(!on);
  next_->setEnabled(on);
  ShowRows();
}

void CProvisioningWindow::SetTicked(std::size_t row, bool ticked) {
  if (row >= model_.rows().size() || model_.rows()[row].checked == ticked) return;
  if (!ticked && model_.rows()[row].running) {
    const QString com = "COM" + QString::number(model_.rows()[row].port);
    if (!confirmStop || !confirmStop("The job on " + com + " is running. Stop it?")) {
      table_model_.RowChanged(row);  // the check box shows the tick again
      return;
    }
    model_.StopRows({row});
  }
  model_.SetChecked(row, ticked);
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
