// A table column shown as a progress bar: the cell's display value is the
// percent (0 to 100), and a negative value (a row that has not run yet)
// leaves the cell empty.
#pragma once

#include <QStyledItemDelegate>

namespace kestrun {

class CProgressBarDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace kestrun
