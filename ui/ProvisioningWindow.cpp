#include "ui/ProvisioningWindow.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "ui/Icons.h"
#include "ui/LabelPrintBar.h"

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
  table_model_.ShowIn(*rows_);
  rows_->setAccessibleName("Trackers");
  rows_->setToolTip("Space ticks a port; Enter or a double-click starts the last command on that port alone");
  // Enter and a double-click start the last command on that row alone.
  connect(rows_, &QTableView::activated, this, [this](const QModelIndex& index) { StartAlone(index); });
  tabs_->addTab(rows_, "Trackers");
  // Labels for the selected rows (or the batch), before the stretch and Stop.
  auto* labels = new CLabelPrintBar(model_, rows_, this);
  connect(labels, &CLabelPrintBar::message, this, [this](const QString& text) { ShowMessage(text); });
  buttons->insertWidget(buttons->count() - 2, labels);

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
  std::string error;
  if (!journal_->Refresh(error)) ShowMessage(Text("journal " + error));
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
