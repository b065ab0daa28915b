// The Provisioning window's parts as its constructor lays them out, one
// function each: the file choosers, the station line, the buttons, the pages
// (the rows with their summary, the Journal tab, the message lines) and the
// model's calls back to the window.
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "ui/CheckableTableView.h"
#include "ui/ProvisioningWindow.h"

namespace kestrun {

namespace {

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

const char* const kStationActionNames[] = {"Identify", "Provision", "Verify"};

// A push button with its accessible name and tooltip.
QPushButton* Button(QWidget* parent, const QString& text, const QString& tip) {
  auto* button = new QPushButton(text, parent);
  button->setAccessibleName(text);
  button->setToolTip(tip);
  return button;
}

}  // namespace

void CProvisioningWindow::AddChoosers(QVBoxLayout& layout) {
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
  layout.addLayout(files);
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
  layout.addLayout(options);
}

void CProvisioningWindow::AddStationLine(QVBoxLayout& layout) {
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
  layout.addLayout(stationLine);
  connect(station_, &QCheckBox::toggled, this, [this](bool on) { SetStation(on); });
  connect(next_, &QPushButton::clicked, this, [this] {
    if (model_.NextAll() == 0)
      ShowMessage("Next Tracker: no port has a finished tracker that is still plugged in");
    else
      ShowMessage({});
  });
  connect(onlyTrackers_, &QCheckBox::toggled, this, [this] { ShowRows(); });
}

QHBoxLayout* CProvisioningWindow::AddButtons(QVBoxLayout& layout) {
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
    if (!model_.Retry(SelectedRows(), lastAction_, Inputs(lastAction_), error)) {
      ShowPortsRefusal(error);
    } else if (model_.Preparing()) {
      ShowControls();  // the rest when the preparation answers (ShowPrepared)
    } else {
      ShowMessage({});  // station mode: the next trackers started at once
    }
  });
  buttons->addStretch();
  buttons->addWidget(tickAll_);
  buttons->addWidget(untickAll_);
  buttons->addSpacing(12);
  buttons->addWidget(retry_);
  buttons->addWidget(stopRows_);
  buttons->addWidget(stop_);
  layout.addLayout(buttons);

  return buttons;
}

void CProvisioningWindow::AddPages(QVBoxLayout& layout) {
  tabs_ = new QTabWidget(this);
  tabs_->setAccessibleName("Provisioning pages");
  // A screen reader's Toggle on a row's check box ticks the row as a click does.
  rows_ = new CCheckableTableView(tabs_);
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

  journal_ = new CProvisioningJournal(model_, tabs_);
  tabs_->addTab(journal_, "Journal");
  connect(journal_, &CProvisioningJournal::refreshRequested, this, [this] { RefreshJournal(); });
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int tab) {
    if (tab == 1) RefreshJournal();
  });
  layout.addWidget(tabs_, 1);

  message_ = new QLabel(this);
  message_->setAccessibleName("Message");
  message_->setWordWrap(true);
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout.addWidget(message_);
  // The state the main window's status bar shows as well: the journal's file is damaged.
  journalProblem_ = new QLabel("Journal Problem", this);
  journalProblem_->setAccessibleName("Journal Problem");
  journalProblem_->setStyleSheet("QLabel { color: #a05a00; }");
  journalProblem_->hide();
  layout.addWidget(journalProblem_);
}

void CProvisioningWindow::ListenToModel() {
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
  // A start's preparation answered: its rows started, or the refusal.
  model_.prepared = [this](const PreparedStart& start) { ShowPrepared(start); };
  model_.busyChanged = [this](bool busy) {
    stop_->setEnabled(busy);
    emit busyChanged(busy);
  };
}

}  // namespace kestrun
