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
#include "../support/SimSupport.h"
#include "ui/ProvisioningWindow.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

TEST(ProvisioningRowsAccessibleTest, ToggleTicksARowAndTheTableKeepsItsNamedHeaders) {
  TempDir dir;
  ProvisioningFolder(dir, {81, 82});
  std::vector<std::unique_ptr<sim::CTrackerSim>> sims;
  for (int com : {81, 82}) sims.push_back(StartSimulator(dir / "ports", com));
  sims[0]->SetAnswerDelay(200);  // COM81's job runs long enough to be unticked while it runs
  auto window = std::make_unique<CProvisioningWindow>(OnlyPortsFolder(dir / "ports"), dir.path());
  window->show();
  QTableView* view = window->rowsView();
  QAbstractItemModel* rows = view->model();
  ASSERT_EQ(rows->rowCount(), 2);
  QAccessibleInterface* table = QAccessible::queryAccessibleInterface(view);
  ASSERT_TRUE(table && table->tableInterface());
  EXPECT_EQ(table->role(), QAccessible::Table);
  EXPECT_EQ(table->text(QAccessible::Name), "Trackers");

  // Every child is where the table says it is, as Orca walks it, and the
  // column headers keep their names.
  const int columns = rows->columnCount();
  ASSERT_EQ(table->childCount(), (rows->rowCount() + 1) * (columns + 1));
  for (int i = 0; i < table->childCount(); ++i) {
    QAccessibleInterface* child = table->child(i);
    ASSERT_TRUE(child) << i;
    EXPECT_EQ(table->indexOfChild(child), i);
    EXPECT_EQ(child->parent(), table);
  }
  for (int c = 0; c < columns; ++c) {
    const QString name = rows->headerData(c, Qt::Horizontal).toString();
    QAccessibleInterface* header = table->child(c + 1);
    EXPECT_EQ(header->role(), QAccessible::ColumnHeader);
    EXPECT_EQ(header->text(QAccessible::Name), name);
    QAccessibleTableCellInterface* cell = table->tableInterface()->cellAt(1, c)->tableCellInterface();
    ASSERT_EQ(cell->columnHeaderCells().size(), 1);
    EXPECT_EQ(cell->columnHeaderCells().front(), header);
    EXPECT_EQ(cell->rowIndex(), 1);
    EXPECT_EQ(cell->columnIndex(), c);
  }
  view->setCurrentIndex(rows->index(1, CProvisioningTable::State));
  EXPECT_EQ(table->focusChild(), table->tableInterface()->cellAt(1, CProvisioningTable::State));
  EXPECT_EQ(table->tableInterface()->cellAt(0, CProvisioningTable::Com)->text(QAccessible::Name),
            "COM81, not ticked");

  struct Step {
    const char* name;
    int row;
    int column;
    bool running;  // the row's job runs when Toggle comes
    bool stop;     // the answer to "Stop it?"
    bool ticked;   // the row afterwards
    int asked;
    bool selected;
  };
  const Step steps[] = {
      {"COM cell ticks an idle row", 1, CProvisioningTable::Com, false, false, true, 0, false},
      {"and unticks it", 1, CProvisioningTable::Com, false, false, false, 0, false},
      {"a cell without a box selects its row", 1, CProvisioningTable::State, false, false, false, 0, true},
      {"a running row: the stop refused keeps its tick", 0, CProvisioningTable::Com, true, false, true, 1, false},
      {"the stop accepted unticks it", 0, CProvisioningTable::Com, true, true, false, 1, false},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    if (s.running && !window->model().rows()[0].running) {
      window->model().SetChecked(0, true);
      ASSERT_TRUE(window->Run(ProvisioningAction::Identify));
    }
    ASSERT_EQ(window->model().rows()[static_cast<std::size_t>(s.row)].running, s.running);
    int asked = 0;
    window->confirmStop = [&](const QString& question) {
      ++asked;
      EXPECT_TRUE(question.contains(QString("COM%1").arg(81 + s.row)));
      return s.stop;
    };
    view->clearSelection();
    QAccessibleInterface* cell = table->tableInterface()->cellAt(s.row, s.column);
    ASSERT_TRUE(cell && cell->actionInterface());
    EXPECT_EQ(cell->state().checkable, s.column == CProvisioningTable::Com);
    cell->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QCoreApplication::processEvents();  // the tick is delivered from the event loop
    EXPECT_EQ(window->model().rows()[static_cast<std::size_t>(s.row)].checked, s.ticked);
    EXPECT_EQ(asked, s.asked);
    EXPECT_EQ(cell->state().checked, s.column == CProvisioningTable::Com && s.ticked);
    EXPECT_EQ(view->selectionModel()->isRowSelected(s.row, {}), s.selected);
  }
  WAIT_UNTIL(!window->model().Busy(), 60000);
  EXPECT_EQ(window->model().rows()[0].state, RowState::Stopped);
  window.reset();
  ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
