// The Provisioning window driven as a user drives it: three simulated
// trackers, one of which refuses a settings line, two ticked and provisioned
// at once and the third started alone while they run; the rows and the
// journal tab show how each one ended.
#include <gtest/gtest.h>

#include <QBrush>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <cstdlib>
#include <thread>

#include "../support/QtWait.h"
#include "../support/ProvisioningFolder.h"
#include "../support/SimSupport.h"
#include "ui/ProvisioningWindow.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

TEST(ProvisioningWindowTest, ProvisionOfThreeTrackersShowsEachRowsEnd) {
  TempDir dir;
  ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  ::unsetenv("RV450_JOURNAL");
  WriteFile(dir / "MainSetting.ini", "[Main]\nGenPassword=5830\nComPort=0\nBaudrate=1\nPacing=fast\n");
  WriteFile(dir / "template.ini", ReadFile(KESTRUN_TEST_DATA "/fresh-config.ini"));
  WriteFile(dir / "table.csv", "IMEI,RVSRI/APN\n" + sim::SimImei(51) + ",one.example\n" + sim::SimImei(52) +
                                   ",two.example\n" + sim::SimImei(53) + ",three.example\n");
  const std::string ports = dir / "ports";
  std::vector<std::unique_ptr<sim::CTrackerSim>> sims;
  for (int com : {51, 52, 53}) sims.push_back(StartSimulator(ports, com));
  sims[1]->SetFault("AT+RVTRI=", sim::Fault::Error);

  CProvisioningWindow window(OnlyPortsFolder(ports), dir.path());
  window.show();
  QAbstractItemModel* rows = window.rowsView()->model();
  ASSERT_EQ(rows->rowCount(), 3);
  // The first row ticked from the keyboard, the second with the mouse's
  // check box; the third, newly plugged, is started alone afterwards.
  window.rowsView()->setFocus();
  window.rowsView()->setCurrentIndex(rows->index(0, CProvisioningTable::Com));
  QTest::keyClick(window.rowsView(), Qt::Key_Space);
  rows->setData(rows->index(1, CProvisioningTable::Com), Qt::Checked, Qt::CheckStateRole);
  window.templateEdit()->setText(QString::fromStdString(dir / "template.ini"));
  window.tableEdit()->setText(QString::fromStdString(dir / "table.csv"));
  QTest::mouseClick(window.button(ProvisioningAction::Provision), Qt::LeftButton);
  EXPECT_TRUE(window.stopButton()->isEnabled());
  WAIT_UNTIL(window.model().rows()[0].state != RowState::Idle, 10000);
  ASSERT_FALSE(window.model().rows()[2].running);
  // Enter (or a double-click) on its row.
  window.rowsView()->setCurrentIndex(rows->index(2, CProvisioningTable::State));
  QTest::keyClick(window.rowsView(), Qt::Key_Return);
  WAIT_UNTIL(window.model().rows()[2].state != RowState::Idle, 10000);
  WAIT_UNTIL(!window.model().Busy(), 60000);
  EXPECT_FALSE(window.stopButton()->isEnabled());

  const auto cell = [&](int r, int column) { return rows->index(r, column).data().toString(); };
  const char* states[] = {"done", "failed", "done"};
  for (int r = 0; r < 3; ++r) {
    SCOPED_TRACE(r);
    EXPECT_EQ(cell(r, CProvisioningTable::Com), QString("COM%1").arg(51 + r));
    EXPECT_EQ(cell(r, CProvisioningTable::Imei).toStdString(), sim::SimImei(51 + r));
    EXPECT_EQ(cell(r, CProvisioningTable::State), states[r]);
    EXPECT_FALSE(cell(r, CProvisioningTable::Time).isEmpty());
    // Read out to a screen reader with the port it belongs to.
    EXPECT_TRUE(rows->index(r, CProvisioningTable::State)
                    .data(Qt::AccessibleTextRole)
                    .toString()
                    .startsWith(QString("COM%1 State: ").arg(51 + r)));
  }
  EXPECT_TRUE(cell(0, CProvisioningTable::Result).startsWith("equal"));
  EXPECT_TRUE(cell(1, CProvisioningTable::Result).contains("Send AT+RVTRI Fail"));

  // The journal tab: every tracker's row, and the failed one alone by its outcome.
  window.tabs()->setCurrentIndex(1);
  EXPECT_EQ(window.journalView()->rowCount(), 3);
  window.journalOutcomeList()->setCurrentText("tracker-failed");
  ASSERT_EQ(window.journalView()->rowCount(), 1);
  EXPECT_EQ(window.journalView()->item(0, 2)->text().toStdString(), sim::SimImei(52));
  ::unsetenv("XDG_DATA_HOME");
}

}  // namespace

namespace {

// What the window's own controls do with the rows: Space on the selected
// rows from any column, Tick All and Untick All, unticking a running row,
// hiding the ports without a tracker, the rows' colours, and refusals that go
// when their cause goes.
class ProvisioningControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProvisioningFolder(dir, {71});
    for (int com : {71, 72, 73}) sims.push_back(StartSimulator(dir / "ports", com));
    window = std::make_unique<CProvisioningWindow>(OnlyPortsFolder(dir / "ports"), dir.path());
    window->show();
  }
  void TearDown() override {
    window.reset();
    ::unsetenv("XDG_DATA_HOME");
  }
  std::vector<bool> Ticks() const {
    std::vector<bool> ticks;
    for (const ProvisioningRow& r : window->model().rows()) ticks.push_back(r.checked);
    return ticks;
  }
  void Select(const std::vector<int>& rows, int column) {
    QTableView* view = window->rowsView();
    view->clearSelection();
    for (int r : rows)
      view->selectionModel()->select(view->model()->index(r, column),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view->selectionModel()->setCurrentIndex(view->model()->index(rows.front(), column),
                                            QItemSelectionModel::NoUpdate);
  }

  TempDir dir;
  std::vector<std::unique_ptr<sim::CTrackerSim>> sims;
  std::unique_ptr<CProvisioningWindow> window;
};

// Space, Enter, the buttons and the rows' boxes, step by step on the same
// rows: what each does to the ticks, to a running row (unticking it asks
// whether to stop its job) and, in station mode, to a finished row (its next
// tracker starts, the row stays ticked).
TEST_F(ProvisioningControlsTest, SpaceEnterTheButtonsAndTheBoxesActOnTheRowsAsTheModeWants) {
  enum Act { Space, Enter, Box, TickAll, UntickAll, Identify, Station, Next };
  enum Stop { NotAsked, Declined, Confirmed };
  const int S = CProvisioningTable::State, R = CProvisioningTable::Result, I = CProvisioningTable::Imei;
  struct Step {
    const char* name;
    Act act;
    std::vector<int> ticks;       // every row's tick after the step
    std::vector<int> rows = {0};  // the selected rows Space and Enter act on; Box: its row
    int column = R;               // the column of the current cell
    Stop stop = NotAsked;         // what unticking a running row asked, and the answer
    long jobs = 0;                // station mode: the identities asked since it started
    const char* state = nullptr;  // the first row's State cell, once it says so
  };
  const Step steps[] = {
      {"Space on two rows from the State column", Space, {1, 1, 0}, {0, 1}, S},
      {"both ticked: Space unticks them", Space, {0, 0, 0}, {0, 1}},
      {"a row's box ticked", Box, {0, 1, 0}, {1}},
      {"one of two ticked: Space ticks both", Space, {0, 1, 1}, {1, 2}, I},
      {"Tick All", TickAll, {1, 1, 1}},
      {"Untick All", UntickAll, {0, 0, 0}, {0}, R, NotAsked, 0, "idle"},
      {"the first row's box ticked", Box, {1, 0, 0}},
      {"Identify: the row runs", Identify, {1, 0, 0}},
      {"its box unticked: the stop declined", Box, {1, 0, 0}, {0}, R, Declined},
      {"unticked again: the stop confirmed", Box, {0, 0, 0}, {0}, R, Confirmed, 0, "stopped"},
      {"its box ticked again", Box, {1, 0, 0}},
      {"station mode: identified without a click", Station, {1, 0, 0}, {0}, R, NotAsked, 1, "done"},
      {"Space on the finished row", Space, {1, 0, 0}, {0}, R, NotAsked, 2, "done"},
      {"Enter on it", Enter, {1, 0, 0}, {0}, R, NotAsked, 3, "done"},
      {"Next Tracker", Next, {1, 0, 0}, {0}, R, NotAsked, 4, "done"},
  };
  QTableView* view = window->rowsView();
  int asked = 0;
  bool confirm = false;
  window->confirmStop = [&](const QString& question) {
    ++asked;
    EXPECT_TRUE(question.contains("COM71")) << question.toStdString();
    return confirm;
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    asked = 0;
    confirm = s.stop == Confirmed;
    ASSERT_TRUE(s.jobs < 2 || QTest::qWaitFor([&] { return window->model().rows()[0].finished; }, 60000));
    const QModelIndex box = view->model()->index(s.rows.front(), CProvisioningTable::Com);
    switch (s.act) {
      case Space:
      case Enter:
        Select(s.rows, s.column);
        view->setFocus();
        QTest::keyClick(view, s.act == Space ? Qt::Key_Space : Qt::Key_Return);
        break;
      case Box:
        view->model()->setData(box, Ticks()[s.rows.front()] ? Qt::Unchecked : Qt::Checked,
                               Qt::CheckStateRole);
        break;
      case TickAll: QTest::mouseClick(window->tickAllButton(), Qt::LeftButton); break;
      case UntickAll: QTest::mouseClick(window->untickAllButton(), Qt::LeftButton); break;
      case Identify:
        sims[0]->SetAnswerDelay(200);  // still running when its box is unticked
        ASSERT_TRUE(window->Run(ProvisioningAction::Identify));
        WAIT_UNTIL(window->model().rows()[0].running, 10000);
        break;
      case Station:
        sims[0]->SetAnswerDelay(0);
        sims[0]->ClearReceived();
        window->stationActionList()->setCurrentText("Identify");
        window->stationBox()->setChecked(true);
        WAIT_UNTIL(window->model().StationOn(), 10000);
        EXPECT_FALSE(window->button(ProvisioningAction::Identify)->isEnabled());
        EXPECT_TRUE(window->nextButton()->isEnabled());
        break;
      case Next: QTest::mouseClick(window->nextButton(), Qt::LeftButton); break;
    }
    const auto jobs = [&] {
      const std::vector<std::string> lines = sims[0]->ReceivedLines();
      return std::count(lines.begin(), lines.end(), "AT+CGSN");
    };
    EXPECT_TRUE(!s.jobs || (QTest::qWaitFor([&] { return jobs() >= s.jobs; }, 60000) && jobs() == s.jobs));
    const auto state = [&] { return view->model()->index(0, S).data().toString().toStdString(); };
    EXPECT_TRUE(!s.state || QTest::qWaitFor([&] { return state() == s.state; }, 60000)) << state();
    EXPECT_EQ(Ticks(), std::vector<bool>(s.ticks.begin(), s.ticks.end()));
    EXPECT_EQ(asked, s.stop == NotAsked ? 0 : 1);
  }
  // Turning station mode off while its job runs asks first, as unticking does.
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->model().rows()[0].finished; }, 60000));
  sims[0]->SetAnswerDelay(200);
  QTest::mouseClick(window->nextButton(), Qt::LeftButton);
  WAIT_UNTIL(window->model().rows()[0].running, 10000);
  for (const bool yes : {false, true}) {
    asked = 0;
    confirm = yes;
    window->stationBox()->setChecked(false);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(window->stationBox()->isChecked(), !yes);
    EXPECT_EQ(window->model().StationOn(), !yes);
  }
  WAIT_UNTIL(view->model()->index(0, S).data().toString() == "stopped", 60000);
  EXPECT_TRUE(window->button(ProvisioningAction::Identify)->isEnabled());
  window->confirmStop = nullptr;
}

TEST_F(ProvisioningControlsTest, RowsShowTheirEndInColourAndTextAndPortsWithoutATrackerCanBeHidden) {
  sims[1]->SetFault("AT", sim::Fault::Silent);  // COM72: no tracker answers
  window->model().SetChecked(0, true);
  window->model().SetChecked(1, true);
  ASSERT_TRUE(window->Run(ProvisioningAction::Identify));
  WAIT_UNTIL(!window->model().Busy(), 60000);
  QAbstractItemModel* rows = window->rowsView()->model();
  const auto colour = [&](int r, int column) {
    return rows->index(r, column).data(Qt::BackgroundRole).value<QBrush>().color();
  };
  struct Case {
    int row;
    const char* state;
    int hue;  // 1: greener than red, -1: redder than green, 0: the view's own background
  };
  for (const Case& c : {Case{0, "done", 1}, Case{1, "failed", -1}, Case{2, "idle", 0}}) {
    SCOPED_TRACE(c.state);
    EXPECT_EQ(rows->index(c.row, CProvisioningTable::State).data().toString(), c.state);
    // The whole row has the colour, and the colour says what the text says.
    const QColor start = colour(c.row, CProvisioningTable::Com), end = colour(c.row, CProvisioningTable::Device);
    EXPECT_EQ(start, end);
    EXPECT_EQ(rows->index(c.row, 0).data(Qt::BackgroundRole).isValid(), c.hue != 0);
    EXPECT_EQ((start.green() > start.red()) - (start.red() > start.green()), c.hue);
  }
  // Only the port where a tracker answered stays in view.
  window->onlyTrackersBox()->setChecked(true);
  EXPECT_FALSE(window->rowsView()->isRowHidden(0));
  EXPECT_TRUE(window->rowsView()->isRowHidden(1));
  EXPECT_TRUE(window->rowsView()->isRowHidden(2));
  // Tick All ticks what is shown.
  window->model().SetChecked(0, false);
  window->model().SetChecked(1, false);
  QTest::mouseClick(window->tickAllButton(), Qt::LeftButton);
  EXPECT_EQ(Ticks(), (std::vector<bool>{true, false, false}));
  window->onlyTrackersBox()->setChecked(false);
  EXPECT_FALSE(window->rowsView()->isRowHidden(1));
}

TEST_F(ProvisioningControlsTest, ARefusalGoesWhenItsCauseGoesCheckedOffTheWindowThreadOnceTypingPauses) {
  // Counts the checks, and whether each ran off the window's thread.
  std::atomic<int> checks = 0, onWindowThread = 0;
  const std::thread::id windowThread = std::this_thread::get_id();
  window->checkChoices = [&, model = &window->model()](ProvisioningAction action, const ProvisioningInputs& inputs,
                                                       std::string& error) {
    ++checks;
    if (std::this_thread::get_id() == windowThread) ++onWindowThread;
    return model->Check(action, inputs, error);
  };
  window->model().SetChecked(0, true);
  // Refused once its preparation answers; nothing else starts meanwhile.
  ASSERT_TRUE(window->Run(ProvisioningAction::Provision));
  EXPECT_FALSE(window->button(ProvisioningAction::Verify)->isEnabled());
  WAIT_EQ(window->messageLabel()->text(), QString("no template config file chosen"), 10000);
  EXPECT_TRUE(window->button(ProvisioningAction::Verify)->isEnabled());
  window->templateEdit()->setText(QString::fromStdString(dir / "template.ini"));
  WAIT_EQ(window->messageLabel()->text(), QString("no per-tracker table chosen"), 10000);
  EXPECT_EQ(checks, 1);
  // Typed key by key: one check when the typing pauses, not one a key.
  const QString table = QString::fromStdString(dir / "table.csv");
  window->tableEdit()->setFocus();
  QTest::keyClicks(window->tableEdit(), table);
  EXPECT_EQ(window->tableEdit()->text(), table);
  WAIT_UNTIL(window->messageLabel()->text().isEmpty(), 10000);
  EXPECT_EQ(checks, 2);
  EXPECT_EQ(onWindowThread, 0);
  // Station mode refused leaves its box unticked and the action buttons usable.
  window->templateEdit()->clear();
  window->stationBox()->setChecked(true);
  WAIT_UNTIL(!window->stationBox()->isChecked(), 10000);
  EXPECT_TRUE(window->button(ProvisioningAction::Provision)->isEnabled());
  EXPECT_FALSE(window->model().rows()[0].running);
  window.reset();  // before the counters its checks count with
}

}  // namespace
