// A table view whose check boxes a screen reader can tick. Qt's own
// accessible cells answer the "Toggle" action by selecting or unselecting
// their row; this view's cells with a check box answer it as a click on the
// box does (the model's setData, so whatever the model asks before a tick
// is asked here too) and say they are checkable and whether they are
// checked. Cells without a box keep Qt's meaning: Toggle selects or
// unselects them. Otherwise the view shows assistive technologies the same
// table as Qt does for a table view: a corner, a header cell per column,
// then each row's header and cells, so that the focus and selection events
// the view sends name the right cells.
#pragma once

#include <QTableView>

namespace kestrun {

class CCheckableTableView : public QTableView {
  Q_OBJECT
 public:
  explicit CCheckableTableView(QWidget* parent = nullptr);
};

}  // namespace kestrun
