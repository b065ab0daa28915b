#include "ui/ProvisioningJournal.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "batch/PortReport.h"
#include "journal/Journal.h"
#include "journal/ServerJournal.h"
#include "ui/ProvisioningTable.h"

namespace kestrun {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The journal columns; station last: with a shared journal the rows are every station's.
constexpr const char* kJournalColumns[] = {"Time",    "Port",    "IMEI",    "Command",
                                           "Outcome", "Message", "Seconds", "Station"};
constexpr int kJournalRows = 200;

}  // namespace

CProvisioningJournal::CProvisioningJournal(CProvisioningModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
  auto* layout = new QVBoxLayout(this);
  auto* filter = new QHBoxLayout;
  auto* imeiLabel = new QLabel("IMEI:", this);
  imei_ = new QLineEdit(this);
  imei_->setAccessibleName("IMEI:");
  imei_->setMaximumWidth(220);
  imeiLabel->setBuddy(imei_);
  auto* outcomeLabel = new QLabel("Outcome:", this);
  outcome_ = new QComboBox(this);
  outcome_->setAccessibleName("Outcome:");
  outcomeLabel->setBuddy(outcome_);
  outcome_->addItem("any");
  outcome_->addItem(kFailedStill);
  outcome_->setItemData(1, "Trackers whose latest row failed: not yet provisioned again successfully",
                        Qt::ToolTipRole);
  for (const batch::OutcomeName& outcome : batch::kOutcomeNames)
    if (outcome.journalTab) outcome_->addItem(outcome.word);
  auto* refresh = new QPushButton("Refresh", this);
  refresh->setAccessibleName("Refresh");
  filter->addWidget(imeiLabel);
  filter->addWidget(imei_);
  filter->addWidget(outcomeLabel);
  filter->addWidget(outcome_);
  filter->addWidget(refresh);
  filter->addStretch();
  layout->addLayout(filter);
  source_ = new QLabel(this);
  source_->setAccessibleName("Journal source");
  source_->setWordWrap(true);
  source_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(source_);
  rows_ = new QTableWidget(0, static_cast<int>(std::size(kJournalColumns)), this);
  rows_->setAccessibleName("Journal rows");
  rows_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  rows_->setSelectionBehavior(QAbstractItemView::SelectRows);
  rows_->setTabKeyNavigation(false);
  rows_->verticalHeader()->hide();
  for (int c = 0; c < rows_->columnCount(); ++c)
    rows_->setHorizontalHeaderItem(c, new QTableWidgetItem(kJournalColumns[c]));
  rows_->horizontalHeader()->setSectionResizeMode(5, QHeaderView::Stretch);
  rows_->setColumnWidth(0, 170);
  rows_->setColumnWidth(2, 140);
  layout->addWidget(rows_);
  connect(refresh, &QPushButton::clicked, this, &CProvisioningJournal::refreshRequested);
  connect(imei_, &QLineEdit::returnPressed, this, &CProvisioningJournal::refreshRequested);
  connect(outcome_, &QComboBox::currentIndexChanged, this, &CProvisioningJournal::refreshRequested);
  // A server's rows are read on the reader's thread and shown on this one.
  reader_.wake = [this] {
    QMetaObject::invokeMethod(
        this,
        [this] {
          std::string ignored;  // said in the source line
          if (const auto result = reader_.Take()) Show(*result, ignored);
        },
        Qt::QueuedConnection);
  };
}

void CProvisioningJournal::SetSource(const QString& text, bool warning) {
  source_->setText(text);
  source_->setAccessibleName(text.isEmpty() ? QString("Journal source") : text);
  // The warning colour of the window's Journal Problem; the text says it too ("Warning: ...").
  source_->setStyleSheet(warning ? "QLabel { color: #a05a00; }" : QString());
}

bool CProvisioningJournal::Refresh(std::string& error) {
  JournalTabRequest request;
  request.target = model_.JournalTarget();
  request.outbox = journal::CJournal::DefaultPath();
  request.filter.imei = imei_->text().trimmed().toStdString();
  if (outcome_->currentIndex() > 0) request.filter.outcome = outcome_->currentText().toStdString();
  request.limit = kJournalRows;
  rows_->setRowCount(0);
  reader_.Read(request);
  if (const auto result = reader_.Take()) return Show(*result, error);
  SetSource(Text("Reading the shared journal " + journal::MaskedUrl(request.target) + "..."), false);
  return true;
}

bool CProvisioningJournal::Show(const JournalTabResult& result, std::string& error) {
  rows_->setRowCount(0);
  if (!result.ok) {
    error = result.error;
    SetSource(Text("Warning: the journal cannot be read: " + result.error), true);
    return false;
  }
  QString source = Text(result.warning.empty() ? result.source : result.warning);
  if (!result.more.empty()) source += "\n" + Text(result.more);
  SetSource(source, !result.warning.empty());
  const std::vector<journal::JournalRow>& rows = result.listing.rows;
  rows_->setRowCount(static_cast<int>(rows.size()));
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const journal::JournalRow& r = rows[static_cast<std::size_t>(i)];
    const QString cells[] = {Text(r.time),
                             Text(r.port),
                             Text(r.imei),
                             Text(r.command),
                             Text(r.outcome),
                             Text(r.message),
                             CProvisioningTable::Seconds(r.seconds),
                             Text(r.station)};
    for (int c = 0; c < static_cast<int>(std::size(cells)); ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      item->setData(Qt::AccessibleTextRole, QString(kJournalColumns[c]) + ": " + cells[c]);
      rows_->setItem(i, c, item);
    }
  }
  return true;
}

}  // namespace kestrun
