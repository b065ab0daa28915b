#include "ui/ProgressBarDelegate.h"

#include <QApplication>

namespace kestrun {

void CProgressBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  const QWidget* widget = option.widget;
  const QStyle* style = widget ? widget->style() : QApplication::style();
  // The cell's background as its row's other cells have it (the selection,
  // the row's colour), with the percent shown by the bar alone.
  QStyleOptionViewItem cell = option;
  initStyleOption(&cell, index);
  cell.text.clear();
  style->drawPrimitive(QStyle::PE_PanelItemViewItem, &cell, painter, widget);

  QStyleOptionProgressBar bar;
  bar.rect = option.rect.adjusted(2, 3, -2, -3);
  bar.minimum = 0;
  bar.maximum = 100;
  bar.progress = index.data(Qt::DisplayRole).toInt();
  if (bar.progress < 0) return;  // a row that has not run yet
  bar.text = QString::number(bar.progress) + "%";
  bar.textVisible = true;
  // Drawn as unselected: a selected bar takes the selection's colour, in
  // which its fill and its text vanish into the selected row.
  bar.state = (option.state & ~QStyle::State_Selected) | QStyle::State_Horizontal;
  bar.palette = option.palette;
  style->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
}

}  // namespace kestrun
