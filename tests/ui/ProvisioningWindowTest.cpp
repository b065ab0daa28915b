// The Provisioning window driven as a user drives it: three simulated
// trackers, one of which refuses a settings line, two ticked and provisioned
// at once and the third started alone while they run; the rows and the
// journal tab show how each one ended.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <cstdlib>

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
  ASSERT_TRUE(window.model().rows()[0].running);
  ASSERT_FALSE(window.model().rows()[2].running);
  // Enter (or a double-click) on its row.
  window.rowsView()->setCurrentIndex(rows->index(2, CProvisioningTable::State));
  QTest::keyClick(window.rowsView(), Qt::Key_Return);
  EXPECT_TRUE(window.model().rows()[2].running);
  QTRY_VERIFY_WITH_TIMEOUT(!window.model().Busy(), 60000);
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
