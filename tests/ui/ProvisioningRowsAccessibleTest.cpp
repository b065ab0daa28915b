// The Provisioning window's rows as a screen reader sees and drives them:
// the "Toggle" action on a row's COM cell ticks and unticks the row (asking
// before it stops a running job, as a click on the box does), a cell without
// a box still selects its row, and the table keeps its layout and its named
// column headers.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QCoreApplication>
#include <QTest>

#include "../support/ProvisioningFolder.h"
#include "../support/QtWait.h"
#include "ui/ProvisioningWindow.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

TEST(ProvisioningRowsAccessibleTest, ToggleTicksARowAndTheTableKeepsItsNamedHeaders) {
  CProvisioningFolder folder({});
  for (int com : {81, 82}) folder.Plug(com);
  folder.sims[81]->SetAnswerDelay(200);  // COM81's job runs long enough to be unticked while it runs
  CProvisioningWindow window(folder.Ports(), folder.dir.path());
  window.show();
  QTableView* view = window.rowsView();
  QAbstractItemModel* rows = view->model();
  ASSERT_EQ(rows->rowCount(), 2);
  QAccessibleInterface* table = QAccessible::queryAccessibleInterface(view);
  ASSERT_TRUE(table && table->tableInterface());
  EXPECT_EQ(table->role(), QAccessible::Table);
  EXPECT_EQ(table->text(QAccessible::Name), "Trackers");

  // Each kind of child where the table says it is, as Orca walks it: its role and name, and for a
  // cell its place and its column's header. Row or column -1: the headers' line or column.
  const int columns = rows->columnCount();
  ASSERT_EQ(table->childCount(), (rows->rowCount() + 1) * (columns + 1));
  using T = CProvisioningTable;
  using A = QAccessible;
  for (const auto& [row, column, role, name] : {std::tuple{-1, -1, A::Pane, ""},
                                                {-1, T::State, A::ColumnHeader, "State"},
                                                {1, -1, A::RowHeader, ""},
                                                {0, T::Com, A::Cell, "COM81, not ticked"},
                                                {1, T::State, A::Cell, "COM82 State: idle"}}) {
    SCOPED_TRACE(std::to_string(row) + " " + std::to_string(column));
    const int index = (row + 1) * (columns + 1) + column + 1;
    QAccessibleInterface* child = table->child(index);
    ASSERT_TRUE(child);
    EXPECT_EQ(table->indexOfChild(child), index);
    EXPECT_EQ(child->parent(), table);
    EXPECT_EQ(child->role(), role);
    EXPECT_EQ(child->text(QAccessible::Name), name);
    if (row < 0 || column < 0) continue;
    QAccessibleTableCellInterface* cell = child->tableCellInterface();
    EXPECT_EQ(std::pair(cell->rowIndex(), cell->columnIndex()), std::pair(row, column));
    EXPECT_EQ(cell->columnHeaderCells(), QList<QAccessibleInterface*>{table->child(column + 1)});
  }
  view->setCurrentIndex(rows->index(1, T::State));
  EXPECT_EQ(table->focusChild(), table->tableInterface()->cellAt(1, T::State));

  // Toggle on a box asks before it stops a running job; on a cell without a box it selects the row.
  // running: the row's job runs when Toggle comes; stop: the answer to "Stop it?"; ticked: the row after.
  const struct {
    const char* name;
    int row, column;
    bool running, stop, ticked;
  } steps[] = {
      {"COM cell ticks an idle row", 1, T::Com, false, false, true},
      {"and unticks it", 1, T::Com, false, false, false},
      {"a cell without a box selects its row", 1, T::State, false, false, false},
      {"a running row: the stop refused keeps its tick", 0, T::Com, true, false, true},
      {"the stop accepted unticks it", 0, T::Com, true, true, false},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.name);
    if (s.running && !window.model().rows()[0].running) {
      window.model().SetChecked(0, true);
      ASSERT_TRUE(window.Run(ProvisioningAction::Identify));
      WAIT_UNTIL(window.model().rows()[0].running, 10000);
    }
    ASSERT_EQ(window.model().rows()[static_cast<std::size_t>(s.row)].running, s.running);
    int asked = 0;
    window.confirmStop = [&](const QString& question) {
      ++asked;
      EXPECT_TRUE(question.contains(QString("COM%1").arg(81 + s.row)));
      return s.stop;
    };
    view->clearSelection();
    QAccessibleInterface* cell = table->tableInterface()->cellAt(s.row, s.column);
    ASSERT_TRUE(cell && cell->actionInterface());
    EXPECT_EQ(cell->state().checkable, s.column == T::Com);
    cell->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QCoreApplication::processEvents();  // the tick is delivered from the event loop
    EXPECT_EQ(window.model().rows()[static_cast<std::size_t>(s.row)].checked, s.ticked);
    EXPECT_EQ(asked, s.running ? 1 : 0);
    EXPECT_EQ(cell->state().checked, s.column == T::Com && s.ticked);
    EXPECT_EQ(view->selectionModel()->isRowSelected(s.row, {}), s.column != T::Com);
  }
  WAIT_UNTIL(!window.model().Busy(), 60000);
  EXPECT_EQ(window.model().rows()[0].state, RowState::Stopped);
}

}  // namespace
