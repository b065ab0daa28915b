// The leaves of the view's accessible table: a cell (text, place, state,
// and Toggle as a click on its check box) and a header cell.
#include "ui/TableCellAccessible.h"

#include <QHeaderView>
#include <QPersistentModelIndex>
#include <QPointer>

namespace kestrun {

namespace {

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
  CHeaderAccessible(QTableView* view, TableSlot slot) : CLeafAccessible(view), slot_(slot) {}
  TableSlot slot() const { return slot_; }

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
  TableSlot slot_;
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
  QList<QAccessibleInterface*> Header(TableSlot slot) const {
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

}  // namespace

int ChildIndex(int columns, TableSlot slot) { return (slot.row + 1) * (columns + 1) + slot.column + 1; }

QAccessibleInterface* NewTableChild(QTableView* view, TableSlot slot) {
  if (slot.row < 0 || slot.column < 0) return new CHeaderAccessible(view, slot);
  return new CCellAccessible(view, view->model()->index(slot.row, slot.column, view->rootIndex()));
}

std::optional<TableSlot> SlotOfChild(const QTableView* view, const QAccessibleInterface* child) {
  if (const auto* cell = dynamic_cast<const CCellAccessible*>(child)) {
    if (cell->view() != view || !cell->isValid()) return std::nullopt;
    return TableSlot{cell->index().row(), cell->index().column()};
  }
  if (const auto* header = dynamic_cast<const CHeaderAccessible*>(child)) {
    if (header->view() != view || !header->isValid()) return std::nullopt;
    return header->slot();
  }
  return std::nullopt;
}

}  // namespace kestrun
