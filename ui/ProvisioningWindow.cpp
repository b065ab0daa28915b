#include "ui/ProvisioningWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "ui/Icons.h"

namespace kestrun {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

QString Seconds(double seconds) { return QString::number(seconds, 'f', 1) + " s"; }

// The progress column as a bar.
class CProgressDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionProgressBar bar;
    bar.rect = option.rect.adjusted(2, 3, -2, -3);
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = index.data(Qt::DisplayRole).toInt();
    if (bar.progress < 0) return;  // a row that has not run yet
    bar.text = QString::number(bar.progress) + "%";
    bar.textVisible = true;
    bar.state = option.state | QStyle::State_Horizontal;
    const QWidget* widget = option.widget;
    (widget ? widget->style() : QApplication::style())
        ->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
  }
};

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

// The journal columns and the outcomes its filter offers.
constexpr const char* kJournalColumns[] = {"Time",    "Port",    "IMEI",   "Command",
                                           "Outcome", "Message", "Seconds"};
constexpr const char* kOutcomes[] = {
    "ok",      "equal",  "different", "tracker-failed", "tracker-changed", "port-not-opened",
    "stopped", "no-row", "skipped",   "refused",        "claim-failed",    "output-failed"};
constexpr int kJournalRows = 200;

}  // namespace

// ---- The rows as a Qt table -------------------------------------------------------

CProvisioningTable::CProvisioningTable(CProvisioningModel& model, QObject* parent)
    : QAbstractTableModel(parent), model_(model) {}

int CProvisioningTable::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(model_.rows().size());
}

int CProvisioningTable::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant CProvisioningTable::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char* names[] = {"COM",    "Device", "IMEI",     "ICCID",  "Firmware",
                                "Signal", "State",  "Progress", "Result", "Time"};
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
    return {};
  return names[section];
}

Qt::ItemFlags CProvisioningTable::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == Com) f |= Qt::ItemIsUserCheckable;
  return f;
}

QVariant CProvisioningTable::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const ProvisioningRow& r = model_.rows()[static_cast<std::size_t>(index.row())];
  const auto time = [&r] {
    if (r.running)
      return Seconds(std::chrono::duration<double>(std::chrono::steady_clock::now() - r.started).count());
    return r.seconds > 0 ? Seconds(r.seconds) : QString();
  };
  const QString com = "COM" + QString::number(r.port);
  QString result = Text(r.result);
  if (!r.file.empty()) result += " (" + Text(r.file) + ")";
  const auto shown = [&](int column) -> QString {
    switch (column) {
      case Com: return com + (r.present ? "" : " (gone)");
      case Device: return Text(r.device);
      case Imei: return Text(r.imei);
      case Iccid: return Text(r.iccid);
      case Firmware: return Text(r.firmware);
      case Signal: return Text(r.signal);
      case State: return Text(r.stateText);
      case Progress: return QString::number(r.percent) + "%";
      case Result: return result + (r.hint.empty() ? "" : " - " + Text(r.hint));
      case Time: return time();
    }
    return {};
  };
  switch (role) {
    case Qt::DisplayRole:
      if (index.column() != Progress) return shown(index.column());
      return r.state == RowState::Idle ? -1 : r.percent;
    case Qt::CheckStateRole:
      return index.column() == Com ? QVariant(r.checked ? Qt::Checked : Qt::Unchecked) : QVariant();
    case Qt::ToolTipRole:
      if (index.column() == Result && !result.isEmpty())
        return r.hint.empty() ? result : result + "\n" + Text(r.hint);
      if (index.column() == Firmware || index.column() == Device) return shown(index.column());
      return {};
    case Qt::AccessibleTextRole: {
      // Each cell says which port and which item it is, for a screen reader.
      const QString header = headerData(index.column(), Qt::Horizontal, Qt::DisplayRole).toString();
      if (index.column() == Com) return com + (r.checked ? ", ticked" : ", not ticked");
      const QString value = shown(index.column());
      return com + " " + header + ": " + (value.isEmpty() ? "none" : value);
    }
    default: return {};
  }
}

bool CProvisioningTable::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.column() != Com || role != Qt::CheckStateRole) return false;
  model_.SetChecked(static_cast<std::size_t>(index.row()),
                    static_cast<Qt::CheckState>(value.toInt()) == Qt::Checked);
  return true;
}

void CProvisioningTable::RowChanged(std::size_t row) {
  emit dataChanged(index(static_cast<int>(row), 0), index(static_cast<int>(row), ColumnCount - 1));
}

void CProvisioningTable::Reset() {
  beginResetModel();
  endResetModel();
}

void CProvisioningTable::Tick() {
  for (std::size_t i = 0; i < model_.rows().size(); ++i)
    if (model_.rows()[i].running)
      emit dataChanged(index(static_cast<int>(i), Time), index(static_cast<int>(i), Time));
}

// ---- The window -----------------------------------------------------------------------

CProvisioningWindow::CProvisioningWindow(const DiscoveryPaths& discovery, const std::string& workDir,
                                         QWidget* parent)
    : QWidget(parent, Qt::Window), model_(discovery, workDir) {
  setWindowTitle("Provisioning");
  setAccessibleName("Provisioning");
  setWindowIcon(AppIcon());
  setAttribute(Qt::WA_DeleteOnClose, false);

  auto* layout = new QVBoxLayout(this);
  auto* files = new QGridLayout;
  const auto chooser = [&](int line, const QString& caption, const QString& filter, QLineEdit*& edit) {
    auto* label = new QLabel(caption, this);
    edit = new QLineEdit(this);
    edit->setAccessibleName(caption);
    label->setBuddy(edit);
    auto* browse = new QPushButton("Browse...", this);
    browse->setAccessibleName(caption + " Browse...");
    QLineEdit* target = edit;
    connect(browse, &QPushButton::clicked, this, [this, target, caption, filter] {
      const QString file = QFileDialog::getOpenFileName(this, caption, target->text(), filter);
      if (!file.isEmpty()) target->setText(file);
    });
    files->addWidget(label, line, 0);
    files->addWidget(edit, line, 1);
    files->addWidget(browse, line, 2);
  };
  chooser(0, "Template:", "Config files (*.ini);;All files (*)", template_);
  chooser(1, "Table:", "Tables (*.csv);;All files (*)", table_);
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
  stop_ = new QPushButton("Stop", this);
  stop_->setAccessibleName("Stop");
  stop_->setToolTip("Stop every running job at its next step");
  stop_->setEnabled(false);
  connect(stop_, &QPushButton::clicked, this, [this] { model_.Stop(); });
  buttons->addStretch();
  buttons->addWidget(stop_);
  layout->addLayout(buttons);

  tabs_ = new QTabWidget(this);
  tabs_->setAccessibleName("Provisioning pages");
  rows_ = new QTableView(tabs_);
  rows_->setModel(&table_model_);
  rows_->setAccessibleName("Trackers");
  rows_->setSelectionBehavior(QAbstractItemView::SelectRows);
  rows_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  rows_->setTabKeyNavigation(false);
  rows_->verticalHeader()->hide();
  rows_->setWordWrap(false);
  rows_->setItemDelegateForColumn(CProvisioningTable::Progress, new CProgressDelegate(rows_));
  rows_->horizontalHeader()->setStretchLastSection(false);
  rows_->horizontalHeader()->setSectionResizeMode(CProvisioningTable::Result, QHeaderView::Stretch);
  const int widths[] = {80, 100, 130, 160, 150, 125, 165, 90, 0, 60};
  for (int c = 0; c < CProvisioningTable::ColumnCount; ++c)
    if (widths[c] > 0) rows_->setColumnWidth(c, widths[c]);
  rows_->setToolTip("Space ticks a port; Enter or a double-click starts the last command on that port alone");
  // Enter and a double-click start the last command on that row alone.
  connect(rows_, &QTableView::activated, this, [this](const QModelIndex& index) { StartAlone(index); });
  tabs_->addTab(rows_, "Trackers");

  auto* journalPage = new QWidget(tabs_);
  auto* journalLayout = new QVBoxLayout(journalPage);
  auto* filter = new QHBoxLayout;
  auto* imeiLabel = new QLabel("IMEI:", journalPage);
  journalImei_ = new QLineEdit(journalPage);
  journalImei_->setAccessibleName("IMEI:");
  journalImei_->setMaximumWidth(220);
  imeiLabel->setBuddy(journalImei_);
  auto* outcomeLabel = new QLabel("Outcome:", journalPage);
  journalOutcome_ = new QComboBox(journalPage);
  journalOutcome_->setAccessibleName("Outcome:");
  outcomeLabel->setBuddy(journalOutcome_);
  journalOutcome_->addItem("any");
  for (const char* outcome : kOutcomes) journalOutcome_->addItem(outcome);
  auto* refresh = new QPushButton("Refresh", journalPage);
  refresh->setAccessibleName("Refresh");
  filter->addWidget(imeiLabel);
  filter->addWidget(journalImei_);
  filter->addWidget(outcomeLabel);
  filter->addWidget(journalOutcome_);
  filter->addWidget(refresh);
  filter->addStretch();
  journalLayout->addLayout(filter);
  journal_ = new QTableWidget(0, static_cast<int>(std::size(kJournalColumns)), journalPage);
  journal_->setAccessibleName("Journal rows");
  journal_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  journal_->setSelectionBehavior(QAbstractItemView::SelectRows);
  journal_->setTabKeyNavigation(false);
  journal_->verticalHeader()->hide();
  for (int c = 0; c < journal_->columnCount(); ++c)
    journal_->setHorizontalHeaderItem(c, new QTableWidgetItem(kJournalColumns[c]));
  journal_->horizontalHeader()->setSectionResizeMode(5, QHeaderView::Stretch);
  journal_->setColumnWidth(0, 170);
  journal_->setColumnWidth(2, 140);
  journalLayout->addWidget(journal_);
  tabs_->addTab(journalPage, "Journal");
  connect(refresh, &QPushButton::clicked, this, [this] { RefreshJournal(); });
  connect(journalImei_, &QLineEdit::returnPressed, this, [this] { RefreshJournal(); });
  connect(journalOutcome_, &QComboBox::currentIndexChanged, this, [this] { RefreshJournal(); });
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
  model_.rowChanged = [this](std::size_t row) { table_model_.RowChanged(row); };
  model_.rowsReset = [this] { table_model_.Reset(); };
  model_.rowFinished = [this](const ProvisioningRow&) {
    if (tabs_->currentIndex() == 1) RefreshJournal();
  };
  model_.busyChanged = [this](bool busy) {
    stop_->setEnabled(busy);
    emit busyChanged(busy);
  };
  chooseFolder = [this] {
    const QString folder = QFileDialog::getExistingDirectory(this, "Read to files", lastFolder_);
    if (!folder.isEmpty()) lastFolder_ = folder;
    return folder;
  };
  portPoll_.setInterval(2000);
  connect(&portPoll_, &QTimer::timeout, this, [this] { model_.RefreshPorts(); });
  portPoll_.start();
  clock_.setInterval(1000);
  connect(&clock_, &QTimer::timeout, this, [this] { table_model_.Tick(); });
  clock_.start();
  resize(1340, 640);
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
    ShowMessage(Text(error));
    return false;
  }
  lastAction_ = action;
  ShowMessage({});
  return true;
}

void CProvisioningWindow::StartAlone(const QModelIndex& index) {
  if (!index.isValid()) return;
  const ProvisioningInputs inputs = Inputs(lastAction_);
  if (lastAction_ == ProvisioningAction::ReadToFiles && inputs.outputFolder.empty()) return;
  std::string error;
  if (!model_.StartRow(static_cast<std::size_t>(index.row()), lastAction_, inputs, error))
    ShowMessage(Text(error));
  else
    ShowMessage({});
}

void CProvisioningWindow::ShowMessage(const QString& text) {
  message_->setText(text);
  message_->setAccessibleName(text.isEmpty() ? QString("Message") : text);
  journalProblem_->setVisible(model_.journalProblem());
  journalProblem_->setToolTip(model_.journalProblem() ? text : QString());
  journalProblem_->setAccessibleName(model_.journalProblem() ? "Journal Problem: " + text
                                                             : QString("Journal Problem"));
}

void CProvisioningWindow::RefreshJournal() {
  const QString outcome = journalOutcome_->currentIndex() > 0 ? journalOutcome_->currentText() : QString();
  std::vector<journal::JournalRow> rows;
  std::string error;
  journal_->setRowCount(0);
  if (!model_.JournalRows(journalImei_->text().trimmed().toStdString(), outcome.toStdString(), kJournalRows,
                          rows, error)) {
    ShowMessage(Text("journal " + error));
    return;
  }
  journal_->setRowCount(static_cast<int>(rows.size()));
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const journal::JournalRow& r = rows[static_cast<std::size_t>(i)];
    const QString cells[] = {Text(r.time),    Text(r.port),    Text(r.imei),      Text(r.command),
                             Text(r.outcome), Text(r.message), Seconds(r.seconds)};
    for (int c = 0; c < static_cast<int>(std::size(cells)); ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      item->setData(Qt::AccessibleTextRole, QString(kJournalColumns[c]) + ": " + cells[c]);
      journal_->setItem(i, c, item);
    }
  }
}

void CProvisioningWindow::closeEvent(QCloseEvent* event) {
  // Every engine stops and closes its port before the window goes.
  model_.Shutdown();
  model_.Deliver();
  stop_->setEnabled(false);
  emit busyChanged(false);
  QWidget::closeEvent(event);
}

}  // namespace kestrun
