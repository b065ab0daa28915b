#include "ui/ProvisioningJournal.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/ProvisioningTable.h"

namespace kestrun {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The journal columns and the outcomes the filter offers.
constexpr const char* kJournalColumns[] = {"Time",    "Port",    "IMEI",   "Command",
                                           "Outcome", "Message", "Seconds"};
constexpr const char* kOutcomes[] = {
    "ok",      "equal",  "different", "tracker-failed", "tracker-changed", "port-not-opened",
    "stopped", "no-row", "skipped",   "refused",        "claim-failed",    "output-failed"};
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
  for (const char* outcome : kOutcomes) outcome_->addItem(outcome);
  auto* refresh = new QPushButton("Refresh", this);
  refresh->setAccessibleName("Refresh");
  filter->addWidget(imeiLabel);
  filter->addWidget(imei_);
  filter->addWidget(outcomeLabel);
  filter->addWidget(outcome_);
  filter->addWidget(refresh);
  filter->addStretch();
  layout->addLayout(filter);
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
}

bool CProvisioningJournal::Refresh(std::string& error) {
  const QString outcome = outcome_->currentIndex() > 0 ? outcome_->currentText() : QString();
  std::vector<journal::JournalRow> rows;
  rows_->setRowCount(0);
  if (!model_.JournalRows(imei_->text().trimmed().toStdString(), outcome.toStdString(), kJournalRows, rows,
                          error))
    return false;
  rows_->setRowCount(static_cast<int>(rows.size()));
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const journal::JournalRow& r = rows[static_cast<std::size_t>(i)];
    const QString cells[] = {Text(r.time),    Text(r.port),    Text(r.imei),
                             Text(r.command), Text(r.outcome), Text(r.message),
                             CProvisioningTable::Seconds(r.seconds)};
    for (int c = 0; c < static_cast<int>(std::size(cells)); ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      item->setData(Qt::AccessibleTextRole, QString(kJournalColumns[c]) + ": " + cells[c]);
      rows_->setItem(i, c, item);
    }
  }
  return true;
}

}  // namespace kestrun
