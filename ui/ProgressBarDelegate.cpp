#include "ui/ProgressBarDelegate.h"

#include <QApplication>

namespace kestrun {

void CProgressBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
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
  (widget ? widget->style() : QApplication::style())->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
}

}  // namespace kestrun
