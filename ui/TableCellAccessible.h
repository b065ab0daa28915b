// The children of CCheckableTableView's accessible table: a corner, a header
// cell per column, then each row's header and cells, as Qt lays out its own
// table, so the focus and selection events the view sends name the right cells.
#pragma once

#include <QAccessibleInterface>
#include <QTableView>
#include <optional>

namespace kestrun {

// Where a child sits among the table's children. Row -1 is the line of
// column headers and column -1 the column of row headers; both are there
// (as in Qt's own table) while a header is hidden, since the view's focus
// and selection events count them.
struct TableSlot {
  int row;
  int column;
};

// The child's index among the table's children, for a model of `columns` columns.
int ChildIndex(int columns, TableSlot slot);

// A new header cell (row or column -1) or cell for `slot`; the caller registers it.
QAccessibleInterface* NewTableChild(QTableView* view, TableSlot slot);

// Where `child` sits when it is a valid header cell or cell of `view`.
std::optional<TableSlot> SlotOfChild(const QTableView* view, const QAccessibleInterface* child);

}  // namespace kestrun
