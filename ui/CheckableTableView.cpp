// The view and what assistive technologies see of it: the table, its cells
// and its header cells, made by a factory Qt asks for each object of this
// view's class.
#include "ui/CheckableTableView.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QApplication>
#include <QHash>
#include <QHeaderView>
#include <QPersistentModelIndex>
#include <QPointer>

namespace kestrun {

namespace {

// Where a child sits among the table's children. Row -1 is the line of
// column headers and column -1 the column of row headers; both are there
// (as in Qt's own table) while a header is hidden, since the view's focus
// and selection events count them.
struct Slot {
  int row;
  int column;
};

int ChildIndex(int columns, Slot slot) { return (slot.row + 1) * (columns + 1) + slot.column + 1; }

QString HeaderText(const QAbstractItemModel& model, int section, Qt::Orientation orientation, QAccessible::Text t) {
  if (t == QAccessible::Description)
    return model.headerData(section, orientation, Qt::AccessibleDescriptionRole).toString();
  if (t != QAccessible::Name) return {};
  const QString name = model.headerData(section, orientation, Qt::AccessibleTextRole).toString();
  return name.isEmpty() ? model.headerData(section, orientation, Qt::DisplayRole).toString() : name;
}

// What a header cell and a cell have in common: a leaf among the table's
// children, with no object of its own and a text nobody may set.
class CLeafAccessible : public QAccessibleInterface {
 public:
  explicit CLeafAccessible(QTableView* view) : view_(view) {}
  const QTableView* view() const { return view_; }
  QObject* object() const override { return nullptr; }
  QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(view_); }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  void setText(QAccessible::Text, const QString&) override {}

 protected:
  QPointer<QTableView> view_;
};

// A column's header, a row's header, or the corner where the headers meet.
class CHeaderAccessible : public CLeafAccessible {
 public:
  CHeaderAccessible(QTableView* view, Slot slot) : CLeafAccessible(view), slot_(slot) {}
  Slot slot() const { return slot_; }

  bool isValid() const override {
    if (!view_ || !view_->model()) return false;
    return slot_.row < view_->model()->rowCount(view_->rootIndex()) &&
           slot_.column < view_->model()->columnCount(view_->rootIndex());
  }

  QAccessible::Role role() const override {
    if (slot_.row < 0 && slot_.column < 0) return QAccessible::Pane;
    return slot_.row < 0 ? QAccessible::ColumnHeader : QAccessible::RowHeader;
  }
  QString text(QAccessible::Text t) const override {
    if (!isValid() || (slot_.row < 0 && slot_.column < 0)) return {};
    return slot_.row < 0 ? HeaderText(*view_->model(), slot_.column, Qt::Horizontal, t)
                         : HeaderText(*view_->model(), slot_.row, Qt::Vertical, t);
  }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid()) return s;
    const QHeaderView* across = view_->horizontalHeader();
    const QHeaderView* down = view_->verticalHeader();
    s.invisible = (slot_.row < 0 && !across->isVisible()) || (slot_.column < 0 && !down->isVisible()) ||
                  (slot_.row >= 0 && down->isSectionHidden(slot_.row)) ||
                  (slot_.column >= 0 && across->isSectionHidden(slot_.column));
    s.disabled = !view_->isEnabled();
    return s;
  }
  QRect rect() const override {
    if (!isValid() || state().invisible) return {};
    const QHeaderView* across = view_->horizontalHeader();
    const QHeaderView* down = view_->verticalHeader();
    if (slot_.row < 0 && slot_.column < 0)
      return {QPoint(down->mapToGlobal(QPoint(0, 0)).x(), across->mapToGlobal(QPoint(0, 0)).y()),
              QSize(down->width(), across->height())};
    if (slot_.row < 0)
      return {across->mapToGlobal(QPoint(across->sectionViewportPosition(slot_.column), 0)),
              QSize(across->sectionSize(slot_.column), across->height())};
    return {down->mapToGlobal(QPoint(0, down->sectionViewportPosition(slot_.row))),
            QSize(down->width(), down->sectionSize(slot_.row))};
  }

 private:
  Slot slot_;
};

// A cell: its text, place and state from the model and the view; Toggle
// ticks or unticks its check box, or selects it when it has none.
class CCellAccessible : public CLeafAccessible,
                        public QAccessibleTableCellInterface,
                        public QAccessibleActionInterface {
 public:
  CCellAccessible(QTableView* view, const QModelIndex& index) : CLeafAccessible(view), index_(index) {}
  QModelIndex index() const { return index_; }

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TableCellInterface) return static_cast<QAccessibleTableCellInterface*>(this);
    if (type == QAccessible::ActionInterface) return static_cast<QAccessibleActionInterface*>(this);
    return nullptr;
  }
  bool isValid() const override { return view_ && view_->model() && index_.isValid(); }
  QAccessible::Role role() const override { return QAccessible::Cell; }

  QString text(QAccessible::Text t) const override {
    if (!isValid()) return {};
    if (t == QAccessible::Description) return index_.data(Qt::AccessibleDescriptionRole).toString();
    if (t != QAccessible::Name) return {};
    const QString name = index_.data(Qt::AccessibleTextRole).toString();
    return name.isEmpty() ? index_.data(Qt::DisplayRole).toString() : name;
  }
  QRect rect() const override {
    if (!isValid()) return {};
    const QRect shown = view_->visualRect(index_);
    return shown.isEmpty() ? QRect() : QRect(view_->viewport()->mapToGlobal(shown.topLeft()), shown.size());
  }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid()) return s;
    const QRect viewRect(view_->mapToGlobal(QPoint(0, 0)), view_->size());
    s.invisible = !viewRect.intersects(rect());
    s.selected = isSelected();
    s.focused = view_->currentIndex() == index_;
    const Qt::ItemFlags flags = index_.flags();
    const QVariant check = index_.data(Qt::CheckStateRole);
    s.checkable = (flags & Qt::ItemIsUserCheckable) && check.isValid();
    s.checked = check.isValid() && check.value<Qt::CheckState>() == Qt::Checked;
    s.checkStateMixed = check.isValid() && check.value<Qt::CheckState>() == Qt::PartiallyChecked;
    s.disabled = !(flags & Qt::ItemIsEnabled) || !view_->isEnabled();
    if (flags & Qt::ItemIsSelectable) {
      s.selectable = s.focusable = true;
      s.multiSelectable = view_->selectionMode() == QAbstractItemView::MultiSelection;
      s.extSelectable = view_->selectionMode() == QAbstractItemView::ExtendedSelection;
    }
    return s;
  }

  bool isSelected() const override {
    return isValid() && view_->selectionModel() && view_->selectionModel()->isSelected(index_);
  }
  QList<QAccessibleInterface*> columnHeaderCells() const override { return Header({-1, index_.column()}); }
  QList<QAccessibleInterface*> rowHeaderCells() const override { return Header({index_.row(), -1}); }
  int columnIndex() const override { return index_.column(); }
  int rowIndex() const override { return index_.row(); }
  int columnExtent() const override { return 1; }
  int rowExtent() const override { return 1; }
  QAccessibleInterface* table() const override { return parent(); }

  QStringList actionNames() const override { return {toggleAction()}; }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }
  void doAction(const QString& name) override {
    if (name != toggleAction() || !isValid()) return;
    if (!state().checkable) {
      ToggleSelection();
      return;
    }
    // Later, from the event loop: the model may ask a question in a dialog
    // before the tick, and the screen reader reads it only once this call
    // has returned to it.
    QMetaObject::invokeMethod(
        view_, [view = view_, index = index_] { Tick(view, index); }, Qt::QueuedConnection);
  }

 private:
  QList<QAccessibleInterface*> Header(Slot slot) const {
    QAccessibleInterface* table = parent();
    if (!table || !isValid()) return {};
    const QHeaderView* header = slot.row < 0 ? view_->horizontalHeader() : view_->verticalHeader();
    if (!header->isVisible()) return {};
    QAccessibleInterface* cell = table->child(ChildIndex(view_->model()->columnCount(view_->rootIndex()), slot));
    return cell ? QList<QAccessibleInterface*>{cell} : QList<QAccessibleInterface*>{};
  }

  // As a click on the box: the model decides, then a screen reader hears the
  // cell's new state.
  static void Tick(const QPointer<QTableView>& view, const QPersistentModelIndex& index) {
    if (!view || !view->isEnabled() || !index.isValid() || !(index.flags() & Qt::ItemIsEnabled)) return;
    const auto checked = [&index] { return index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked; };
    const bool was = checked();
    view->model()->setData(index, was ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    if (!view || !index.isValid() || checked() == was) return;
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(view);
    QAccessibleInterface* cell = table ? table->tableInterface()->cellAt(index.row(), index.column()) : nullptr;
    if (!cell) return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(cell, changed);
    QAccessible::updateAccessibility(&event);
  }

  // Qt's meaning of Toggle for a cell without a check box.
  void ToggleSelection() {
    QItemSelectionModel* selection = view_->selectionModel();
    if (!selection || view_->selectionMode() == QAbstractItemView::NoSelection) return;
    QItemSelectionModel::SelectionFlags how =
        selection->isSelected(index_) ? QItemSelectionModel::Deselect : QItemSelectionModel::Select;
    if (how == QItemSelectionModel::Select && view_->selectionMode() == QAbstractItemView::SingleSelection)
      how |= QItemSelectionModel::Clear;
    if (view_->selectionBehavior() == QAbstractItemView::SelectRows) how |= QItemSelectionModel::Rows;
    if (view_->selectionBehavior() == QAbstractItemView::SelectColumns) how |= QItemSelectionModel::Columns;
    selection->select(index_, how);
  }

  QPersistentModelIndex index_;
};

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
    const Slot slot{index / (columnCount() + 1) - 1, index % (columnCount() + 1) - 1};
    QAccessibleInterface* made = nullptr;
    if (slot.row < 0 || slot.column < 0)
      made = new CHeaderAccessible(view(), slot);
    else
      made = new CCellAccessible(view(), view()->model()->index(slot.row, slot.column, view()->rootIndex()));
    children_.insert(index, QAccessible::registerAccessibleInterface(made));
    return made;
  }
  int indexOfChild(const QAccessibleInterface* iface) const override {
    if (!isValid()) return -1;
    if (const auto* cell = dynamic_cast<const CCellAccessible*>(iface)) {
      if (cell->view() != view() || !cell->isValid()) return -1;
      return ChildIndex(columnCount(), {cell->index().row(), cell->index().column()});
    }
    if (const auto* header = dynamic_cast<const CHeaderAccessible*>(iface)) {
      if (header->view() != view() || !header->isValid()) return -1;
      return ChildIndex(columnCount(), header->slot());
    }
    return -1;
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
