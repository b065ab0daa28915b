// The Provisioning window driven as a user drives it, against simulated
// trackers on COM71 to COM73: its buttons and keys on the rows (a row's box is
// ProvisioningRowsAccessibleTest's), what the rows and the journal tab show of
// how each job ended, and refusals that go when their cause goes.
#include <gtest/gtest.h>

#include <QBrush>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <thread>

#include "../support/ProvisioningFolder.h"
#include "../support/QtWait.h"
#include "ui/ProvisioningWindow.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

class ProvisioningControlsTest : public ::testing::Test, protected CProvisioningFolder {
 protected:
  ProvisioningControlsTest() : CProvisioningFolder({71, 72, 73}) {
    for (int com : {71, 72, 73}) Plug(com);
    window = std::make_unique<CProvisioningWindow>(Ports(), dir.path());
    window->show();
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

  std::unique_ptr<CProvisioningWindow> window;  // gone before the folder and its trackers
};

// Two rows provisioned with the button, one of them refusing a line, and a
// port without a tracker started alone with Enter while they run: each row's
// cells and colour say how it ended, the port without a tracker can be
// hidden, and the journal tab filters the rows by outcome.
TEST_F(ProvisioningControlsTest, RowsShowTheirEndInTextAndColourAndTheJournalTabFiltersThem) {
  sims[72]->SetFault("AT+RVTRI=", sim::Fault::Error);
  sims[73]->SetFault("AT", sim::Fault::Silent);
  QTableView* view = window->rowsView();
  QAbstractItemModel* rows = view->model();
  using T = CProvisioningTable;
  const auto cell = [&](int r, int c, int role = Qt::DisplayRole) { return rows->index(r, c).data(role); };
  EXPECT_FALSE(cell(0, T::Com, Qt::BackgroundRole).isValid());  // idle: the view's own background
  window->model().SetChecked(0, true);
  window->model().SetChecked(1, true);
  window->templateEdit()->setText(QString::fromStdString(dir / "template.ini"));
  window->tableEdit()->setText(QString::fromStdString(dir / "table.csv"));
  QTest::mouseClick(window->button(ProvisioningAction::Provision), Qt::LeftButton);
  EXPECT_TRUE(window->stopButton()->isEnabled());
  WAIT_UNTIL(window->model().rows()[0].state != RowState::Idle, 10000);
  ASSERT_FALSE(window->model().rows()[2].running);
  view->setFocus();
  view->setCurrentIndex(rows->index(2, T::State));
  QTest::keyClick(view, Qt::Key_Return);  // COM73's row alone, with the batch's action
  WAIT_UNTIL(!window->model().Busy(), 60000);
  EXPECT_FALSE(window->stopButton()->isEnabled());

  const struct {
    const char* state;
    const char* result;  // what the Result cell holds
    int hue;             // 1: greener than red, -1: redder than green
  } ends[] = {{"done", "equal", 1}, {"failed", "Send AT+RVTRI Fail", -1}, {"failed", "", -1}};
  for (int r = 0; r < 3; ++r) {
    SCOPED_TRACE(r);
    EXPECT_EQ(cell(r, T::Com).toString().toStdString(), "COM" + std::to_string(71 + r));
    EXPECT_EQ(cell(r, T::Imei).toString().toStdString(), r < 2 ? sim::SimImei(71 + r) : "");
    EXPECT_EQ(cell(r, T::State).toString().toStdString(), ends[r].state);
    const std::string result = cell(r, T::Result).toString().toStdString();
    EXPECT_NE(result.find(ends[r].result), std::string::npos) << result;
    EXPECT_FALSE(cell(r, T::Time).toString().isEmpty());
    // The whole row has the colour, and the colour says what the text says.
    const QColor start = cell(r, T::Com, Qt::BackgroundRole).value<QBrush>().color();
    EXPECT_EQ(cell(r, T::Device, Qt::BackgroundRole).value<QBrush>().color().name().toStdString(),
              start.name().toStdString());
    EXPECT_EQ((start.green() > start.red()) - (start.red() > start.green()), ends[r].hue);
  }
  // Only the ports where a tracker answered stay in view, and Tick All ticks those.
  window->onlyTrackersBox()->setChecked(true);
  EXPECT_FALSE(view->isRowHidden(1));
  EXPECT_TRUE(view->isRowHidden(2));
  for (std::size_t r = 0; r < 3; ++r) window->model().SetChecked(r, false);
  QTest::mouseClick(window->tickAllButton(), Qt::LeftButton);
  EXPECT_EQ(Ticks(), (std::vector<bool>{true, true, false}));
  window->onlyTrackersBox()->setChecked(false);
  EXPECT_FALSE(view->isRowHidden(2));

  window->tabs()->setCurrentIndex(1);
  EXPECT_EQ(window->journalView()->rowCount(), 3);
  window->journalOutcomeList()->setCurrentText("equal");
  ASSERT_EQ(window->journalView()->rowCount(), 1);
  EXPECT_EQ(window->journalView()->item(0, 2)->text().toStdString(), sim::SimImei(71));
}

// Space, Enter and the buttons, step by step on the same rows: what each
// does to the ticks and, in station mode, to a finished row (its next tracker
// starts, the row stays ticked). A row's box, and the question before a
// running row's box stops its job: ProvisioningRowsAccessibleTest's Toggle,
// which ticks as the box does.
TEST_F(ProvisioningControlsTest, SpaceEnterAndTheButtonsActOnTheRowsAsTheModeWants) {
  enum Act { Space, Enter, UntickAll, Station, Next };  // Tick All: the test above
  const int S = CProvisioningTable::State, R = CProvisioningTable::Result, I = CProvisioningTable::Imei;
  struct Step {
    const char* name;
    Act act;
    std::vector<int> ticks;       // every row's tick after the step
    std::vector<int> rows = {0};  // the selected rows Space and Enter act on
    int column = R;               // the column of the current cell
    long jobs = 0;                // station mode: the identities asked since it started
    const char* state = nullptr;  // the first row's State cell, once it says so
  };
  const Step steps[] = {
      {"Space on two rows from the State column", Space, {1, 1, 0}, {0, 1}, S},
      {"both ticked: Space unticks them", Space, {0, 0, 0}, {0, 1}},
      {"Space on one row", Space, {0, 1, 0}, {1}},
      {"one of two ticked: Space ticks both", Space, {0, 1, 1}, {1, 2}, I},
      {"Untick All", UntickAll, {0, 0, 0}, {0}, R, 0, "idle"},
      {"Space on the first row", Space, {1, 0, 0}},
      {"station mode: identified without a click", Station, {1, 0, 0}, {0}, R, 1, "done"},
      {"Space on the finished row", Space, {1, 0, 0}, {0}, R, 2, "done"},
      {"Enter on it", Enter, {1, 0, 0}, {0}, R, 3, "done"},
      {"Next Tracker", Next, {1, 0, 0}, {0}, R, 4, "done"},
  };
  QTableView* view = window->rowsView();
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    ASSERT_TRUE(s.jobs < 2 || QTest::qWaitFor([&] { return window->model().rows()[0].finished; }, 60000));
    switch (s.act) {
      case Space:
      case Enter:
        Select(s.rows, s.column);
        view->setFocus();
        QTest::keyClick(view, s.act == Space ? Qt::Key_Space : Qt::Key_Return);
        break;
      case UntickAll: QTest::mouseClick(window->untickAllButton(), Qt::LeftButton); break;
      case Station:
        sims[71]->ClearReceived();
        window->stationActionList()->setCurrentText("Identify");
        window->stationBox()->setChecked(true);
        WAIT_UNTIL(window->model().StationOn(), 10000);
        EXPECT_FALSE(window->button(ProvisioningAction::Identify)->isEnabled());
        EXPECT_TRUE(window->nextButton()->isEnabled());
        break;
      case Next: QTest::mouseClick(window->nextButton(), Qt::LeftButton); break;
    }
    const auto jobs = [&] {
      const std::vector<std::string> lines = sims[71]->ReceivedLines();
      return std::count(lines.begin(), lines.end(), "AT+CGSN");
    };
    EXPECT_TRUE(!s.jobs || (QTest::qWaitFor([&] { return jobs() >= s.jobs; }, 60000) && jobs() == s.jobs));
    const auto state = [&] { return view->model()->index(0, S).data().toString().toStdString(); };
    EXPECT_TRUE(!s.state || QTest::qWaitFor([&] { return state() == s.state; }, 60000)) << state();
    EXPECT_EQ(Ticks(), std::vector<bool>(s.ticks.begin(), s.ticks.end()));
  }
  // Turning station mode off while its job runs asks first, as unticking does.
  int asked = 0;
  bool confirm = false;
  window->confirmStop = [&](const QString& question) {
    ++asked;
    EXPECT_TRUE(question.contains("COM71")) << question.toStdString();
    return confirm;
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->model().rows()[0].finished; }, 60000));
  sims[71]->SetAnswerDelay(200);
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

TEST_F(ProvisioningControlsTest, ARefusalGoesWhenItsCauseGoesCheckedOffTheWindowThreadOnceTypingPauses) {
  // Counts the checks, and whether each ran off the window's thread.
  std::atomic<int> checks = 0, onWindowThread = 0;
  const std::thread::id windowThread = std::this_thread::get_id();
  window->checkChoices = [&, model = &window->model()](ProvisioningAction action, const ProvisioningInputs& inputs,
                                                       std::string& error, const std::atomic<bool>& stop) {
    ++checks;
    if (std::this_thread::get_id() == windowThread) ++onWindowThread;
    return model->Check(action, inputs, error, &stop);
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
  window->tableEdit()->setFocus();
  QTest::keyClicks(window->tableEdit(), QString::fromStdString(dir / "table.csv"));
  WAIT_UNTIL(window->messageLabel()->text().isEmpty(), 10000);
  EXPECT_EQ(checks, 2);
  EXPECT_EQ(onWindowThread, 0);
  // Station mode refused leaves its box unticked and the action buttons usable.
  window->templateEdit()->clear();
  window->stationBox()->setChecked(true);
  WAIT_UNTIL(!window->stationBox()->isChecked(), 10000);
  EXPECT_TRUE(window->button(ProvisioningAction::Provision)->isEnabled());
  window.reset();  // before the counters its checks count with
}

}  // namespace
