// The Provisioning window's rows as a Qt table: one column per item of a
// row (port, tracker, job state, progress, result, time, dealt table line),
// the COM column with the row's check box, done rows green and failed rows
// red (the state is in the text as well), each cell's text for a screen
// reader; and how a view shows it (the columns' widths, the progress bar,
// the result wrapping to two lines and taking the spare width, State and
// Result before the tracker's details so that a narrow window keeps them).
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <functional>

#include "window/ProvisioningModel.h"

namespace kestrun {

class CProvisioningTable : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { Com, Imei, State, Progress, Result, Time, Line, Iccid, Firmware, Signal, Device, ColumnCount };

  explicit CProvisioningTable(CProvisioningModel& model, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  // Asked when a row's check box is ticked or unticked (from the mouse or a
  // screen reader); unset: the model's tick is set at once.
  std::function<void(std::size_t row, bool checked)> tickRequested;

  // Shows the rows in `view`: whole rows selected, nothing edited in place,
  // the progress column as a bar, the columns at their widths.
  void ShowIn(QTableView& view);

  void RowChanged(std::size_t row);
  void Reset();
  // The running rows' time column, once a second.
  void Tick();

  // The background of a row in `state`: green when done, red when failed,
  // none (the view's own) otherwise.
  static QVariant Background(RowState state);

  // A time taken as the rows and the journal show it: "12.3 s".
  static QString Seconds(double seconds);

 private:
  CProvisioningModel& model_;
};

}  // namespace kestrun
