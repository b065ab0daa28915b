// The tool on a desktop: check boxes and radio buttons driven through their
// accessible actions as much as by mouse and keyboard, the port list's
// tooltips and the status line's after a failed open, and the history window
// brought back from the menu. The real view against the simulator.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAccessible>
#include <QApplication>
#include <QMenuBar>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "protocol/ControlIds.h"
#include "ui/FormLayout.h"
#include "ui/MainFrame.h"
#include "ui/ResultDlg.h"
#include "ViewTest.h"

using namespace kestrun;
using namespace kestrun::testing;
using namespace ctl;

namespace {

class DesktopTest : public ViewTest {
 protected:
  DesktopTest() : ViewTest(31, "[Main]\nGenPassword=5830\nComPort=0\nBaudrate=1\n") {}
  void SetUp() override {
    ViewTest::SetUp();
    ASSERT_EQ(view->statusLine()->text(), "Init COM:31 Baudrate:115200 Success .");
  }
  QAbstractButton* Button(int id) { return qobject_cast<QAbstractButton*>(view->Control(id)); }
  bool Enabled(int id) { return view->Control(id)->isEnabled(); }

  RawPty secondPort{PortsDir(), 32};  // a second device, COM32
};

QAccessibleActionInterface* Actions(QWidget* widget) {
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
  return accessible ? accessible->actionInterface() : nullptr;
}

// What a screen reader or voice control does: the button's toggle action.
void ToggleAccessibly(QWidget* widget) {
  QAccessibleActionInterface* actions = Actions(widget);
  ASSERT_NE(actions, nullptr);
  ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
  actions->doAction(QAccessibleActionInterface::toggleAction());
}

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(5, 5)); }

void PressSpace(QWidget* widget) {
  widget->setFocus();
  QTest::keyClick(widget, Qt::Key_Space);
}

}  // namespace

TEST_F(DesktopTest, AccessibleToggleOfAnEnableBoxEnablesTheGroupAndBuildsThePreview) {
  for (const GroupInfo& info : AllGroups()) {
    if (info.enableBox <= 0) continue;
    SCOPED_TRACE(info.name);
    const int preview = info.previews.front();
    const int input = GroupRuleControls(info.group).front();
    ASSERT_FALSE(Enabled(input));
    ASSERT_TRUE(Edit(preview)->text().isEmpty());
    ToggleAccessibly(view->Control(info.enableBox));
    EXPECT_TRUE(Button(info.enableBox)->isChecked());
    EXPECT_EQ(view->model().values.Number(info.enableBox), 1);
    for (int id : GroupRuleControls(info.group)) EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_TRUE(Edit(preview)->text().startsWith(QString("AT+RV") + info.name + "="))
        << Edit(preview)->text().toStdString();
    ToggleAccessibly(view->Control(info.enableBox));
    EXPECT_FALSE(Button(info.enableBox)->isChecked());
    for (int id : GroupRuleControls(info.group)) EXPECT_FALSE(Enabled(id)) << id;
  }
}

TEST_F(DesktopTest, AccessibleToggleOfRowBoxesAndOptionBoxesRunsTheirHandlers) {
  ToggleAccessibly(view->Control(FenceBox[2]));
  EXPECT_TRUE(Enabled(Longitude[2]));
  EXPECT_TRUE(Enabled(GeoSend));
  EXPECT_TRUE(Edit(FencePreview[2])->text().startsWith("AT+RVGEO="));

  ToggleAccessibly(view->Control(KeyBox[1]));
  EXPECT_TRUE(Enabled(PhoneNumber[1]));
  EXPECT_TRUE(Enabled(KpnSend));
  EXPECT_TRUE(Edit(KeyPreview[1])->text().startsWith("AT+RVKPN="));

  // An option box and a radio button rebuild their group's preview.
  ToggleAccessibly(view->Control(BacEnable));
  const QString before = Edit(BacPreview)->text();
  ToggleAccessibly(view->Control(OverSpeedAlarm));
  EXPECT_EQ(view->model().values.Number(OverSpeedAlarm), 1);
  EXPECT_NE(Edit(BacPreview)->text(), before);

  ToggleAccessibly(view->Control(SriEnable));
  ToggleAccessibly(view->Control(ReportMode2));
  EXPECT_TRUE(Button(ReportMode2)->isChecked());
  EXPECT_EQ(view->model().values.Number(ReportMode), 2);
  EXPECT_TRUE(Edit(SriPreview)->text().startsWith("AT+RVSRI=5830,0,1,"))  // mode 2: long connection
      << Edit(SriPreview)->text().toStdString();
}

// Every way of changing a box runs its handler exactly once: each run pulls
// the form, and a field over its limit reports itself once per pull.
TEST_F(DesktopTest, ClickKeyboardAndAccessibleToggleEachRunTheHandlerOnce) {
  view->model().values.Text(Pin) = "123456789";  // one over the limit, last of the form
  view->PushForm();
  ASSERT_TRUE(limitMessages.isEmpty());
  auto runs = [&](const std::function<void()>& change) {
    limitMessages.clear();
    change();
    return limitMessages.size();
  };
  QWidget* enable = view->Control(SriEnable);
  EXPECT_EQ(runs([&] { Click(enable); }), 1);
  EXPECT_EQ(runs([&] { PressSpace(enable); }), 1);
  EXPECT_EQ(runs([&] { ToggleAccessibly(enable); }), 1);
  EXPECT_EQ(runs([&] { Button(SriEnable)->click(); }), 1);
  EXPECT_FALSE(Button(SriEnable)->isChecked());  // on, off, on, off
  EXPECT_FALSE(Enabled(Apn));
  EXPECT_EQ(runs([&] { Click(enable); }), 1);
  EXPECT_TRUE(Enabled(Apn));

  EXPECT_EQ(runs([&] { Click(view->Control(ReportMode1)); }), 1);
  EXPECT_EQ(runs([&] { Click(view->Control(ReportMode1)); }), 1);  // already set: still a click
  EXPECT_EQ(runs([&] { ToggleAccessibly(view->Control(ReportMode3)); }), 1);
  EXPECT_EQ(runs([&] { PressSpace(view->Control(ReportMode0)); }), 1);
  EXPECT_EQ(view->model().values.Number(ReportMode), 0);

  EXPECT_EQ(runs([&] { ToggleAccessibly(view->Control(FenceBox[0])); }), 1);
  EXPECT_EQ(runs([&] { PressSpace(view->Control(KeyBox[4])); }), 1);
  EXPECT_EQ(runs([&] { ToggleAccessibly(view->Control(BacEnable)); }), 1);
  EXPECT_EQ(runs([&] { ToggleAccessibly(view->Control(BacAlarmFlag[5])); }), 1);

  // Pressing and dragging off the box changes nothing and runs nothing; the
  // next accessible toggle still runs once.
  EXPECT_EQ(runs([&] {
              QTest::mousePress(enable, Qt::LeftButton, {}, QPoint(5, 5));
              QMouseEvent away(QEvent::MouseMove, QPointF(-50, -50), enable->mapToGlobal(QPointF(-50, -50)),
                               Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
              QApplication::sendEvent(enable, &away);
              QTest::mouseRelease(enable, Qt::LeftButton, {}, QPoint(-50, -50));
            }),
            0);
  EXPECT_TRUE(Button(SriEnable)->isChecked());
  EXPECT_EQ(runs([&] { ToggleAccessibly(enable); }), 1);
  EXPECT_FALSE(Button(SriEnable)->isChecked());

  // Changes the program makes during a form exchange run nothing.
  view->model().values.Number(SriEnable) = 1;
  view->model().values.Number(ReportMode) = 3;
  view->model().values.Number(FenceBox[1]) = 1;
  EXPECT_EQ(runs([&] { view->PushForm(); }), 0);
  EXPECT_TRUE(Button(ReportMode3)->isChecked());
}

TEST_F(DesktopTest, EveryInputOfTheFormHasAnAccessibleNameAndItsAction) {
  for (const ControlEntry& entry : FormControls()) {
    if (!entry.id) continue;
    QWidget* widget = view->Control(entry.id);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    ASSERT_NE(accessible, nullptr) << entry.id;
    EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << entry.id;
    // A disabled button offers no action; every enabled one can be toggled.
    if ((entry.kind == CtlKind::CheckBox || entry.kind == CtlKind::Radio) && widget->isEnabled()) {
      EXPECT_TRUE(Actions(widget)->actionNames().contains(QAccessibleActionInterface::toggleAction()))
          << entry.id;
    }
  }
}

TEST_F(DesktopTest, PortListAndStatusLineNameTheProgramThatHoldsAPort) {
  CComPort holder({.number = 32, .discovery = view->discovery()});
  ASSERT_TRUE(holder.Open()) << holder.openFailureReason();
  const std::string me = "(pid " + std::to_string(::getpid()) + ")";

  QStringList tips;
  QTimer::singleShot(0, [&] {
    QComboBox* list = view->mainSettingDlg()->comList();
    for (int i = 0; i < list->count(); ++i) tips << list->itemData(i, Qt::ToolTipRole).toString();
    view->mainSettingDlg()->reject();
  });
  view->OnMainSetting();
  ASSERT_EQ(tips.size(), 2);
  EXPECT_TRUE(tips[0].startsWith("COM31: ")) << tips[0].toStdString();
  EXPECT_TRUE(tips[0].contains("\nOpens.")) << tips[0].toStdString();
  EXPECT_TRUE(tips[1].startsWith("COM32: ")) << tips[1].toStdString();
  EXPECT_TRUE(tips[1].contains("Does not open: ")) << tips[1].toStdString();
  EXPECT_TRUE(tips[1].contains(QString::fromStdString("Another program holds the port: ")))
      << tips[1].toStdString();
  EXPECT_TRUE(tips[1].contains(QString::fromStdString(me))) << tips[1].toStdString();

  WriteFile(dir / "MainSetting.ini", "[Main]\nGenPassword=5830\nComPort=1\nBaudrate=1\n");
  view->InitSystem();
  EXPECT_EQ(view->statusLine()->text(), "Init COM:32 Baudrate:115200 Fail !");
  EXPECT_TRUE(view->statusLine()->toolTip().contains(QString::fromStdString(me)))
      << view->statusLine()->toolTip().toStdString();
  holder.Close();
  view->InitSystem();
  EXPECT_EQ(view->statusLine()->text(), "Init COM:32 Baudrate:115200 Success .");
  EXPECT_TRUE(view->statusLine()->toolTip().isEmpty());
}

TEST_F(DesktopTest, TheHistoryWindowComesBackFromTheOperationMenu) {
  CHistoryDlg* history = view->historyDlg();
  ASSERT_TRUE(history->isVisible());
  view->AppendHistory("AT+RVPIN=5830,0,,0,20240101000000");
  history->close();
  EXPECT_FALSE(history->isVisible());
  view->AppendHistory("AT+RVWLT=5830");  // still collected while hidden

  QAction* show = frame.action("Protocol Commands History");
  ASSERT_NE(show, nullptr);
  show->trigger();
  EXPECT_TRUE(history->isVisible());
  EXPECT_EQ(history->textArea()->toPlainText(), "AT+RVPIN=5830,0,,0,20240101000000\nAT+RVWLT=5830\n");
  show->trigger();  // already shown: stays shown
  EXPECT_TRUE(history->isVisible());

  // The menus are otherwise as they were, with Identify Tracker after Read All
  // and Provisioning... last.
  QStringList menus;
  for (QAction* menu : frame.menuBar()->actions()) {
    QStringList items;
    for (QAction* item : menu->menu()->actions())
      if (!item->isSeparator()) items << item->text();
    menus << menu->text() + ": " + items.join(", ");
  }
  EXPECT_EQ(
      menus,
      QStringList({"&Operation: Send All, Read All, Identify Tracker, Compare With Tracker, Terminal, "
                   "Provisioning..., Protocol Commands History",
                   "&Config: Main Setting, Save Config File, Load Config File", "&About: &About This Tool"}));

  // Usable while an operation runs: it only shows the window.
  history->close();
  emit view->busyChanged(true);
  EXPECT_FALSE(frame.action("Read All")->isEnabled());
  EXPECT_TRUE(show->isEnabled());
  show->trigger();
  EXPECT_TRUE(history->isVisible());
  emit view->busyChanged(false);
}
