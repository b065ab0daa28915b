// The Provisioning window's rows as a Qt table: one column per item of a
// row (port, tracker, job state, progress, result, time), the COM column
// with the row's check box, each cell's text for a screen reader; and how a
// view shows it (the columns' widths, the progress bar, the result column
// taking the spare width).
#pragma once

#include <QAbstractTableModel>
#include <QTableView>

#include "window/ProvisioningModel.h"

namespace kestrun {

class CProvisioningTable : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { Com, Device, Imei, Iccid, Firmware, Signal, State, Progress, Result, Time, ColumnCount };

  explicit CProvisioningTable(CProvisioningModel& model, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  // Shows the rows in `view`: whole rows selected, nothing edited in place,
  // the progress column as a bar, the columns at their widths.
  void ShowIn(QTableView& view);

  void RowChanged(std::size_t row);
  void Reset();
  // The running rows' time column, once a second.
  void Tick();

  // A time taken as the rows and the journal show it: "12.3 s".
  static QString Seconds(double seconds);

 private:
  CProvisioningModel& model_;
};

}  // namespace kestrun
