// The view and the accessible table assistive technologies see of it, made
// by a factory Qt asks for each object of this view's class (its cells and
// header cells are in TableCellAccessible).
#include "ui/CheckableTableView.h"

#include "ui/TableCellAccessible.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QApplication>
#include <QHash>
#include <QHeaderView>

namespace kestrun {

namespace {

// The table: its children made when first asked for and kept until the
// model's rows or columns change, its selection as the view's.
class CTableAccessible : public QAccessibleObject, public QAccessibleTableInterface {
 public:
  explicit CTableAccessible(QTableView* view) : QAccessibleObject(view) {}
  ~CTableAccessible() override { Forget(); }

  void* interface_cast(QAccessible::InterfaceType type) override {
    return type == QAccessible::TableInterface ? static_cast<QAccessibleTableInterface*>(this) : nullptr;
  }
  // False from the view's destructor on, where it is a QTableView no more.
  bool isValid() const override { return view() != nullptr; }
  QAccessible::Role role() const override { return QAccessible::Table; }
  QString text(QAccessible::Text t) const override {
    if (!isValid()) return {};
    if (t == QAccessible::Name) return view()->accessibleName();
    if (t == QAccessible::Description) return view()->accessibleDescription();
    return {};
  }
  QRect rect() const override {
    if (!isValid() || !view()->isVisible()) return {};
    return {view()->mapToGlobal(QPoint(0, 0)), view()->size()};
  }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid()) return s;
    s.invisible = !view()->isVisible();
    s.focusable = view()->focusPolicy() != Qt::NoFocus;
    s.focused = view()->hasFocus();
    s.disabled = !view()->isEnabled();
    return s;
  }
  QAccessibleInterface* parent() const override {
    if (!isValid()) return nullptr;
    QObject* above = view()->parent();
    return QAccessible::queryAccessibleInterface(above ? above : static_cast<QObject*>(qApp));
  }

  int childCount() const override { return isValid() ? (rowCount() + 1) * (columnCount() + 1) : 0; }
  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= childCount()) return nullptr;
    // A kept child whose cell moved or went (a model that changed while no
    // assistive technology listened) is made again.
    if (const auto kept = children_.constFind(index); kept != children_.constEnd()) {
      QAccessibleInterface* iface = QAccessible::accessibleInterface(*kept);
      if (iface && indexOfChild(iface) == index) return iface;
      QAccessible::deleteAccessibleInterface(*kept);
      children_.remove(index);
    }
    QAccessibleInterface* made =
        NewTableChild(view(), {index / (columnCount() + 1) - 1, index % (columnCount() + 1) - 1});
    children_.insert(index, QAccessible::registerAccessibleInterface(made));
    return made;
  }
  int indexOfChild(const QAccessibleInterface* iface) const override {
    if (!isValid()) return -1;
    const std::optional<TableSlot> slot = SlotOfChild(view(), iface);
    return slot ? ChildIndex(columnCount(), *slot) : -1;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    if (!isValid()) return nullptr;
    const QPoint at(x, y);
    const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(at));
    if (index.isValid()) return cellAt(index.row(), index.column());
    const QHeaderView* across = view()->horizontalHeader();
    if (across->isVisible() && across->rect().contains(across->mapFromGlobal(at))) {
      const int column = across->logicalIndexAt(across->mapFromGlobal(at));
      if (column >= 0) return child(ChildIndex(columnCount(), {-1, column}));
    }
    return nullptr;
  }
  QAccessibleInterface* focusChild() const override {
    if (!isValid() || !view()->currentIndex().isValid()) return nullptr;
    return cellAt(view()->currentIndex().row(), view()->currentIndex().column());
  }

  QAccessibleInterface* caption() const override { return nullptr; }
  QAccessibleInterface* summary() const override { return nullptr; }
  QAccessibleInterface* cellAt(int row, int column) const override {
    if (row < 0 || column < 0 || row >= rowCount() || column >= columnCount()) return nullptr;
    return child(ChildIndex(columnCount(), {row, column}));
  }
  QString columnDescription(int column) const override {
    return isValid() && view()->model() ? view()->model()->headerData(column, Qt::Horizontal).toString() : QString();
  }
  QString rowDescription(int row) const override {
    return isValid() && view()->model() ? view()->model()->headerData(row, Qt::Vertical).toString() : QString();
  }
  int columnCount() const override {
    return isValid() && view()->model() ? view()->model()->columnCount(view()->rootIndex()) : 0;
  }
  int rowCount() const override {
    return isValid() && view()->model() ? view()->model()->rowCount(view()->rootIndex()) : 0;
  }

  int selectedCellCount() const override { return static_cast<int>(Selected().size()); }
  QList<QAccessibleInterface*> selectedCells() const override {
    QList<QAccessibleInterface*> cells;
    for (const QModelIndex& index : Selected())
      if (QAccessibleInterface* cell = cellAt(index.row(), index.column())) cells.append(cell);
    return cells;
  }
  int selectedColumnCount() const override { return static_cast<int>(selectedColumns().size()); }
  int selectedRowCount() const override { return static_cast<int>(selectedRows().size()); }
  QList<int> selectedColumns() const override {
    QList<int> columns;
    if (QItemSelectionModel* selection = Selection())
      for (const QModelIndex& index : selection->selectedColumns()) columns.append(index.column());
    return columns;
  }
  QList<int> selectedRows() const override {
    QList<int> rows;
    if (QItemSelectionModel* selection = Selection())
      for (const QModelIndex& index : selection->selectedRows()) rows.append(index.row());
    return rows;
  }
  bool isColumnSelected(int column) const override {
    return Selection() && Selection()->isColumnSelected(column, view()->rootIndex());
  }
  bool isRowSelected(int row) const override { return Selection() && Selection()->isRowSelected(row, view()->rootIndex()); }
  bool selectRow(int row) override { return Select(row, 0, QItemSelectionModel::Select | QItemSelectionModel::Rows); }
  bool unselectRow(int row) override { return Select(row, 0, QItemSelectionModel::Deselect | QItemSelectionModel::Rows); }
  bool selectColumn(int column) override {
    return Select(0, column, QItemSelectionModel::Select | QItemSelectionModel::Columns);
  }
  bool unselectColumn(int column) override {
    return Select(0, column, QItemSelectionModel::Deselect | QItemSelectionModel::Columns);
  }

  void modelChange(QAccessibleTableModelChangeEvent* event) override {
    if (event->modelChangeType() != QAccessibleTableModelChangeEvent::DataChanged) Forget();
  }

 private:
  QTableView* view() const { return qobject_cast<QTableView*>(object()); }
  QItemSelectionModel* Selection() const { return isValid() ? view()->selectionModel() : nullptr; }
  QModelIndexList Selected() const { return Selection() ? Selection()->selectedIndexes() : QModelIndexList(); }

  // Selects or unselects a row or a column as the view allows: whole rows
  // only in a view that selects rows, one at a time in a single-selection view.
  bool Select(int row, int column, QItemSelectionModel::SelectionFlags how) {
    QItemSelectionModel* selection = Selection();
    if (!selection || !view()->model()) return false;
    const QModelIndex index = view()->model()->index(row, column, view()->rootIndex());
    const QAbstractItemView::SelectionBehavior refused = how.testFlag(QItemSelectionModel::Rows)
                                                             ? QAbstractItemView::SelectColumns
                                                             : QAbstractItemView::SelectRows;
    if (!index.isValid() || view()->selectionMode() == QAbstractItemView::NoSelection ||
        view()->selectionBehavior() == refused)
      return false;
    if (how.testFlag(QItemSelectionModel::Select) && view()->selectionMode() == QAbstractItemView::SingleSelection)
      how |= QItemSelectionModel::Clear;
    selection->select(index, how);
    return true;
  }

  void Forget() {
    for (const QAccessible::Id id : std::as_const(children_)) QAccessible::deleteAccessibleInterface(id);
    children_.clear();
  }

  mutable QHash<int, QAccessible::Id> children_;
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className != QLatin1String(CCheckableTableView::staticMetaObject.className())) return nullptr;
  auto* view = qobject_cast<QTableView*>(object);
  return view ? new CTableAccessible(view) : nullptr;
}

}  // namespace

CCheckableTableView::CCheckableTableView(QWidget* parent) : QTableView(parent) {
  // Qt keeps one of each factory, however many views install it.
  QAccessible::installFactory(&Factory);
}

}  // namespace kestrun
