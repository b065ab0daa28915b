#include "ui/ProvisioningTable.h"

#include <QBrush>
#include <QColor>
#include <QHeaderView>

#include "ui/ProgressBarDelegate.h"

namespace kestrun {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// Each column's header and width in pixels (0: the column that stretches).
struct ColumnEntry {
  const char* name;
  int width;
};
constexpr ColumnEntry kColumns[CProvisioningTable::ColumnCount] = {
    {"COM", 90},    {"IMEI", 130}, {"State", 150},   {"Progress", 75}, {"Result", 0},   {"Time", 55},
    {"Line", 40},   {"ICCID", 165}, {"Firmware", 165}, {"Signal", 115}, {"Device", 85},
};

}  // namespace

CProvisioningTable::CProvisioningTable(CProvisioningModel& model, QObject* parent)
    : QAbstractTableModel(parent), model_(model) {}

QVariant CProvisioningTable::Background(RowState state) {
  switch (state) {
    case RowState::Done: return QBrush(QColor(0xd4, 0xee, 0xd4));
    case RowState::Failed: return QBrush(QColor(0xf6, 0xcf, 0xcf));
    default: return {};
  }
}

QString CProvisioningTable::Seconds(double seconds) { return QString::number(seconds, 'f', 1) + " s"; }

int CProvisioningTable::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(model_.rows().size());
}

int CProvisioningTable::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant CProvisioningTable::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
    return {};
  return kColumns[section].name;
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
      case Line: return r.tableLine > 0 ? QString::number(r.tableLine) : QString();
      case Device: return Text(r.device);
      case Imei: return Text(r.imei);
      case Iccid: return Text(r.iccid);
      case Firmware: return Text(r.firmware);
      case Signal: return Text(r.signal);
      case State: return Text(r.stateText);
      case Progress: return QString::number(r.percent) + "%";
      case Result: return result + (r.hint.empty() || result.isEmpty() || r.story ? "" : " - " + Text(r.hint));
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
    case Qt::BackgroundRole: return Background(r.state);
    case Qt::ForegroundRole:
      // Dark text on the light green and red, whatever the palette.
      return Background(r.state).isValid() ? QVariant(QBrush(Qt::black)) : QVariant();
    case Qt::ToolTipRole:
      if (index.column() == Result && !result.isEmpty())
        return r.hint.empty() ? result : result + "\n" + Text(r.hint);
      if (index.column() == Line && r.tableLine > 0)
        return "Dealt line " + QString::number(r.tableLine) + " of the table";
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
  const auto row = static_cast<std::size_t>(index.row());
  const bool checked = static_cast<Qt::CheckState>(value.toInt()) == Qt::Checked;
  if (tickRequested)
    tickRequested(row, checked);
  else
    model_.SetChecked(row, checked);
  return true;
}

void CProvisioningTable::ShowIn(QTableView& view) {
  view.setModel(this);
  view.setSelectionBehavior(QAbstractItemView::SelectRows);
  view.setEditTriggers(QAbstractItemView::NoEditTriggers);
  view.setTabKeyNavigation(false);
  view.verticalHeader()->hide();
  // The result wraps to two lines; its tooltip holds the whole text.
  view.setWordWrap(true);
  view.setTextElideMode(Qt::ElideRight);
  view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view.verticalHeader()->setDefaultSectionSize(view.fontMetrics().lineSpacing() * 2 + 8);
  view.setItemDelegateForColumn(Progress, new CProgressBarDelegate(&view));
  view.horizontalHeader()->setStretchLastSection(false);
  view.horizontalHeader()->setSectionResizeMode(Result, QHeaderView::Stretch);
  for (int c = 0; c < ColumnCount; ++c)
    if (kColumns[c].width > 0) view.setColumnWidth(c, kColumns[c].width);
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

}  // namespace kestrun
