// The tool end to end: the real view on Qt's offscreen platform, the real
// serial port on a pseudo-terminal, and the simulated tracker behind it.
// What goes over the line is checked against the engine in DriverTest; these
// runs check what the window shows and what its controls start.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QComboBox>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "../support/QtWait.h"
#include "engine/Hints.h"
#include "protocol/ControlIds.h"
#include "protocol/Validation.h"
#include "settings/ConfigFile.h"
#include "sim/TrackerSim.h"
#include "ui/ControlCharFilter.h"
#include "ui/MainFrame.h"
#include "ui/ResultDlg.h"
#include "ViewTest.h"

using namespace kestrun;
using namespace kestrun::testing;
using namespace ctl;

namespace {

class OperationsTest : public ViewTest {
 protected:
  OperationsTest() : ViewTest(31) {}
  void WaitForOperation() { WAIT_UNTIL(!view->IsBusy(), 120000); }
};

}  // namespace

TEST_F(OperationsTest, PortCheckEnablesTheFormAndSetsThePassword) {
  EXPECT_EQ(view->statusLine()->text(), "Init COM:31 Baudrate:115200 Success .");
  EXPECT_TRUE(view->model().liveUpdate);
  EXPECT_EQ(view->model().pin.password, "5830");
  EXPECT_TRUE(view->Control(SriRead)->isEnabled());
  EXPECT_FALSE(view->Control(Apn)->isEnabled());
  EXPECT_TRUE(PortIsFree());
  EXPECT_TRUE(view->historyDlg()->isVisible());
}

TEST_F(OperationsTest, PortCheckFailureLeavesTheFormDisabledAndExplains) {
  WriteFile(dir / "MainSetting.ini", "[Main]\nGenPassword=1\nComPort=4\nBaudrate=0\n");
  view->InitSystem();
  EXPECT_EQ(view->statusLine()->text(), "Init COM:0 Baudrate:57600 Fail !");
  EXPECT_FALSE(view->statusLine()->toolTip().isEmpty());
  EXPECT_FALSE(view->Control(SriRead)->isEnabled());
  EXPECT_FALSE(view->Control(FenceBox[0])->isEnabled());
  EXPECT_TRUE(frame.action("Main Setting")->isEnabled());
}

TEST_F(OperationsTest, ReadAllFillsTheFormAndReportsSuccess) {
  sim_->WithState([](sim::CTrackerState& s) { s.ApplySetting("AT+RVPIN=5830,1,9876,1,,,,,20110101000000"); });
  QSignalSpy busy(view, &CKestrunView::busyChanged);
  view->OnReadAll();
  EXPECT_FALSE(frame.action("Send All")->isEnabled());
  EXPECT_FALSE(frame.action("Load Config File")->isEnabled());
  WaitForOperation();
  EXPECT_TRUE(frame.action("Send All")->isEnabled());
  EXPECT_EQ(view->statusLine()->text(), "Read AT Command Success .");
  EXPECT_EQ(Edit(Apn)->text(), "internet");
  EXPECT_EQ(Edit(Pin)->text(), "9876");
  EXPECT_EQ(static_cast<QComboBox*>(view->Control(PinCheck))->currentIndex(), 1);
  EXPECT_TRUE(Edit(PinPreview)->text().startsWith("AT+RVPIN=5830,1,9876,1,,,,,"));
  EXPECT_EQ(static_cast<CIpAddressEdit*>(view->Control(SriIp))->Octets(),
            (std::array<int, 4>{192, 168, 10, 20}));
  EXPECT_EQ(view->firmwareVersion(), "[Revision:1418B05SIM900M32] [SubEdition:KESTRUN_SIM_2.25]");
  EXPECT_TRUE(view->Control(SriRead)->isEnabled());
}

TEST_F(OperationsTest, ATrafficLogThatCannotBeWrittenIsSaidInTheStatusTooltip) {
  std::filesystem::remove(dir / "AtLog.log");
  std::filesystem::create_directory(dir / "AtLog.log");
  QTest::mouseClick(view->Control(SriRead), Qt::LeftButton);
  WaitForOperation();
  EXPECT_EQ(view->statusLine()->text(), "Read AT Command Success .");  // the operation went on
  EXPECT_EQ(view->statusLine()->toolTip().toStdString(),
            "The traffic log could not be written: " + dir / "AtLog.log" + ": opening it: Is a directory");
  std::filesystem::remove(dir / "AtLog.log");
  QTest::mouseClick(view->Control(SriRead), Qt::LeftButton);
  WaitForOperation();
  EXPECT_TRUE(view->statusLine()->toolTip().isEmpty());
  struct stat st {};
  ASSERT_EQ(::stat((dir / "AtLog.log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);  // it holds the password
}

TEST_F(OperationsTest, SendListsTheLineInTheHistoryAndSavesIt) {
  view->model().values.Number(SriEnable) = 1;
  view->SetFormEnabled(true);
  Edit(Apn)->setText("fleet");
  QTest::mouseClick(view->Control(SriSend), Qt::LeftButton);
  WaitForOperation();
  EXPECT_EQ(view->statusLine()->text(), "Send AT Command Success .");
  const QString history = view->historyDlg()->textArea()->toPlainText();
  EXPECT_TRUE(history.startsWith("AT+RVSRI=5830,0,0,fleet,")) << history.toStdString();
  EXPECT_EQ(history.count('\n'), 1);
  std::string stored;
  sim_->WithState([&](sim::CTrackerState& s) { stored = s.ReplyBody("SRI"); });
  EXPECT_EQ(stored, "5830,0,0,fleet,,,,,");
  const std::string traffic = ReadFile(dir / "AtLog.log");
  EXPECT_NE(traffic.find("--> AT+WCSL=1\r\n"), std::string::npos);
}

TEST_F(OperationsTest, FailingReadShowsItsTextsAndReenablesTheForm) {
  sim_->SetFault("AT+RVTRI?", sim::Fault::Silent);
  QTest::mouseClick(view->Control(TriRead), Qt::LeftButton);
  WaitForOperation();
  EXPECT_EQ(view->statusLine()->text(), "Read AT+RVTRI Fail !");
  EXPECT_TRUE(OpenPopupMessages().contains("No Response !"));
  EXPECT_TRUE(view->Control(TriRead)->isEnabled());
  EXPECT_TRUE(PortIsFree());
}

TEST_F(OperationsTest, ConfigSaveAndLoadRoundTripThroughTheForm) {
  view->model().values.Number(FenceBox[0]) = 1;
  view->model().values.Text(Longitude[0]) = "121.5";
  view->model().values.Number(CallFilter) = 1;
  view->model().values.Text(PhoneName[4]) = "Nils";
  view->model().values.Address(BeiIp) = {8, 8, 4, 4};
  view->PushForm();
  static_cast<CIpAddressEdit*>(view->Control(BeiIp))->SetOctets({8, 8, 4, 4});
  const std::string path = dir / "set.ini";
  view->configFiles().choose = [&](bool) { return QString::fromStdString(path); };
  view->OnSaveConfigFile();
  EXPECT_EQ(view->configFiles().file.path, path);

  // Change the form, then load the file back.
  Edit(Longitude[0])->setText("0");
  static_cast<CIpAddressEdit*>(view->Control(BeiIp))->SetOctets({1, 1, 1, 1});
  const QString previewBefore = Edit(FencePreview[0])->text();
  view->OnLoadConfigFile();
  EXPECT_EQ(Edit(Longitude[0])->text(), "121.5");
  EXPECT_EQ(static_cast<CIpAddressEdit*>(view->Control(BeiIp))->Octets(), (std::array<int, 4>{8, 8, 4, 4}));
  EXPECT_EQ(static_cast<QComboBox*>(view->Control(CallFilter))->currentIndex(), 1);
  EXPECT_TRUE(static_cast<QCheckBox*>(view->Control(FenceBox[0]))->isChecked());
  EXPECT_EQ(Edit(FencePreview[0])->text(), previewBefore);  // no preview rebuilt
  EXPECT_FALSE(view->Control(Longitude[0])->isEnabled());   // no enabled state re-derived

  view->configFiles().choose = [](bool) { return QString(); };  // Cancel
  view->OnLoadConfigFile();
  EXPECT_EQ(view->configFiles().file.path, path);
}

TEST_F(OperationsTest, ClosingMidOperationEndsItAndClosesThePort) {
  sim_->SetFault("AT+RVSRI?", sim::Fault::Silent);
  view->OnReadAll();
  ASSERT_TRUE(view->IsBusy());
  frame.close();
  EXPECT_FALSE(frame.isVisible());  // out of sight at once
  WaitForOperation();
}

TEST(StartUp, CancelInMainSettingEndsBeforeAnyWindowAndWritesNothing) {
  TempDir dir;
  CMainFrame frame;
  frame.view()->SetStartDirectory(dir.path());
  frame.view()->SetDiscovery({dir / "no-sysfs", "/dev", dir / "ports"});
  QTimer::singleShot(0, [&] { frame.view()->mainSettingDlg()->reject(); });
  EXPECT_FALSE(frame.view()->InitialUpdate());
  EXPECT_FALSE(std::filesystem::exists(dir / "MainSetting.ini"));
  EXPECT_FALSE(frame.isVisible());
}

TEST(StartUp, FirstStartWritesTheDefaultsOnOk) {
  TempDir dir;
  CMainFrame frame;
  frame.view()->SetStartDirectory(dir.path());
  frame.view()->SetDiscovery({dir / "no-sysfs", "/dev", dir / "ports"});
  QTimer::singleShot(0, [&] {
    EXPECT_EQ(frame.view()->mainSettingDlg()->baudList()->currentText(), "115200");
    EXPECT_EQ(frame.view()->mainSettingDlg()->passwordEdit()->text(), "5830");
    frame.view()->mainSettingDlg()->accept();
  });
  EXPECT_TRUE(frame.view()->InitialUpdate());
  // No port found: the COM list is empty and -1 is stored.
  EXPECT_EQ(ReadFile(dir / "MainSetting.ini"),
            "[Main]\nGenPassword=5830\nComPort=-1\nBaudrate=1\nPacing=specified\n");
}

TEST(StartUp, PasswordBytesSurviveTheDialogUnedited) {
  TempDir dir;
  const std::string file = "[Main]\nGenPassword=p\xe4ss\nComPort=0\nBaudrate=3\n";
  WriteFile(dir / "MainSetting.ini", file);
  CMainFrame frame;
  frame.view()->SetStartDirectory(dir.path());
  frame.view()->SetDiscovery({dir / "no-sysfs", "/dev", dir / "ports"});
  QTimer::singleShot(0, [&] {
    EXPECT_EQ(frame.view()->mainSettingDlg()->baudList()->currentText(), "460800");
    EXPECT_FALSE(frame.view()->mainSettingDlg()->baudList()->isEnabled());
    frame.view()->mainSettingDlg()->accept();
  });
  EXPECT_TRUE(frame.view()->InitialUpdate());
  EXPECT_EQ(ReadFile(dir / "MainSetting.ini"),
            "[Main]\nGenPassword=p\xe4ss\nComPort=-1\nBaudrate=3\nPacing=specified\n");
}

TEST_F(OperationsTest, FreshSaveFromTheFormWritesTheExpectedFile) {
  const std::string path = dir / "fresh.ini";
  view->configFiles().choose = [&](bool) { return QString::fromStdString(path); };
  view->OnSaveConfigFile();
  EXPECT_EQ(ReadFile(path), ReadFile(std::string(KESTRUN_TEST_DATA) + "/fresh-config.ini"));
}

TEST_F(OperationsTest, LoadDialogTakesOnlyExistingFiles) {
  std::unique_ptr<QFileDialog> load(view->configFiles().CreateDialog(false));
  EXPECT_EQ(load->fileMode(), QFileDialog::ExistingFile);
  EXPECT_EQ(load->nameFilters(), QStringList{"Config File format (*.ini)"});
  EXPECT_EQ(load->defaultSuffix(), "ini");
  std::unique_ptr<QFileDialog> save(view->configFiles().CreateDialog(true));
  EXPECT_EQ(save->fileMode(), QFileDialog::AnyFile);
  EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
}

namespace {

void Tick(QWidget* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, 5)); }

}  // namespace

TEST_F(OperationsTest, ReadOfAPortThatDoesNotOpen) {
  sim_->Stop();
  QTest::mouseClick(view->Control(BeiRead), Qt::LeftButton);
  WaitForOperation();
  EXPECT_EQ(view->statusLine()->text(), "Init COM:31 Baudrate:115200 Fail !");
  EXPECT_TRUE(OpenPopupMessages().contains("Init COM:31 Baudrate:115200 Fail !"));
  EXPECT_TRUE(view->statusLine()->toolTip().contains("Main Setting"))
      << view->statusLine()->toolTip().toStdString();
  EXPECT_TRUE(view->Control(BeiRead)->isEnabled());
}

TEST_F(OperationsTest, OkBeforeTheTagThreeTimesThroughTheView) {
  sim_->SetFault("AT+RVSRI?", sim::Fault::OkBeforeTag);
  QTest::mouseClick(view->Control(SriRead), Qt::LeftButton);
  WaitForOperation();
  EXPECT_EQ(view->statusLine()->text(), "Read AT+RVSRI Fail !");
  EXPECT_EQ(OpenPopupMessages(), QStringList{"No Response !"});
  EXPECT_EQ(Edit(Apn)->text(), "");
}

TEST_F(OperationsTest, FailingGroupInTheMiddleOfReadAll) {
  sim_->SetFault("AT+RVBAC?", sim::Fault::WrongCount);
  view->OnReadAll();
  WaitForOperation();
  EXPECT_EQ(view->statusLine()->text(), "Read AT+RVBAC Fail !");
  EXPECT_EQ(OpenPopupMessages(), QStringList{"Read Data Error !"});
  EXPECT_EQ(Edit(BeginTime)->text(), "0800");  // TRI was read before
  EXPECT_EQ(Edit(SpeedLimited)->text(), "");   // BAC was not
  EXPECT_TRUE(view->Control(BacRead)->isEnabled());
}

TEST_F(OperationsTest, SendAllInItsOrderAfterTickingBoxes) {
  for (int box : {PinEnable, RtoEnable, TriEnable}) Tick(view->Control(box));
  Tick(view->Control(FenceBox[1]));
  Tick(view->Control(KeyBox[3]));
  static_cast<QComboBox*>(view->Control(RtoOption))->setCurrentIndex(8);
  view->OnSendAll();
  WaitForOperation();
  ASSERT_EQ(view->statusLine()->text(), "Send AT Command Success .");
  QStringList sent;
  for (const auto& line : sim_->ReceivedLines())
    if (line.rfind("AT+RV", 0) == 0) sent << QString::fromStdString(line.substr(0, 16));
  EXPECT_EQ(sent, (QStringList{"AT+RVTRI=5830,,,", "AT+RVGEO=5830,2,", "AT+RVRTO=5830,A,", "AT+RVKPN=5830,3,",
                               "AT+RVPIN=5830,0,"}));
  EXPECT_EQ(view->historyDlg()->textArea()->toPlainText().count('\n'), 5);
  EXPECT_TRUE(OpenPopupMessages().contains("Send Setting Success ."));
}

TEST_F(OperationsTest, RefusedSecondFenceThroughTheView) {
  for (int n = 0; n < 3; ++n) Tick(view->Control(FenceBox[n]));
  sim_->SetFault("AT+RVGEO=5830,2,", sim::Fault::Error);
  QTest::mouseClick(view->Control(GeoSend), Qt::LeftButton);
  WaitForOperation();
  EXPECT_EQ(view->statusLine()->text(), "Send AT+RVGEO Fail !");
  EXPECT_EQ(OpenPopupMessages(), QStringList{"No Right Response !"});
  const QStringList history = view->historyDlg()->textArea()->toPlainText().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(history.size(), 2);
  EXPECT_TRUE(history[1].startsWith("AT+RVGEO=5830,2,"));
}

TEST_F(OperationsTest, SendAllWithNothingSelected) {
  sim_->ClearReceived();
  view->OnSendAll();
  WaitForOperation();
  EXPECT_EQ(OpenPopupMessages(), QStringList{"No Function Selected !"});
  EXPECT_EQ(view->statusLine()->text(), "");
  EXPECT_TRUE(sim_->ReceivedLines().empty());
}

TEST_F(OperationsTest, SendThenReadGivesBackTheSameForm) {
  Tick(view->Control(SriEnable));
  Tick(view->Control(WltEnable));
  Tick(view->Control(KeyBox[1]));
  Edit(Apn)->setText("fleet.example");
  static_cast<QRadioButton*>(view->Control(ReportMode3))->click();
  static_cast<CIpAddressEdit*>(view->Control(SriIp))->SetOctets({10, 20, 30, 40});
  Edit(WhiteNumber[4])->setText("5550100");
  static_cast<QComboBox*>(view->Control(MobileEnd))->setCurrentIndex(9);
  static_cast<QComboBox*>(view->Control(GglMode))->setCurrentIndex(1);
  Edit(PhoneName[1])->setText("COOK");
  static_cast<QComboBox*>(view->Control(AutoAnswer[1]))->setCurrentIndex(1);
  view->OnSendAll();
  WaitForOperation();
  ASSERT_EQ(view->statusLine()->text(), "Send AT Command Success .");
  view->PullForm();
  const CFormValues sent = view->model().values;

  // Clear the form, then read everything back.
  view->model().values = CFormValues();
  view->PushForm();
  static_cast<CIpAddressEdit*>(view->Control(SriIp))->SetOctets({0, 0, 0, 0});
  view->OnReadAll();
  WaitForOperation();
  ASSERT_EQ(view->statusLine()->text(), "Read AT Command Success .");
  view->PullForm();
  for (int id : {Apn, WhiteNumber[4], PhoneName[1]}) EXPECT_EQ(view->model().values.Text(id), sent.Text(id));
  for (int id : {ReportMode, GglMode, AutoAnswer[1]})
    EXPECT_EQ(view->model().values.Number(id), sent.Number(id));
  EXPECT_EQ(view->model().values.Address(SriIp), sent.Address(SriIp));
}

TEST_F(OperationsTest, StoredPortIndexBeyondTheListStartsAtTheFirstPort) {
  std::filesystem::create_symlink("/dev/null", dir / "ports/com40");
  std::filesystem::create_symlink("/dev/null", dir / "ports/com7");
  WriteFile(dir / "MainSetting.ini", "[Main]\nGenPassword=5830\nComPort=5\nBaudrate=1\n");
  CMainFrame second;
  second.view()->SetDiscovery(view->discovery());
  second.view()->SetStartDirectory(dir.path());
  QTimer::singleShot(0, [&] {
    QComboBox* list = second.view()->mainSettingDlg()->comList();
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(0), "7");
    EXPECT_EQ(list->itemText(2), "40");
    EXPECT_EQ(list->currentIndex(), 0);
    second.view()->mainSettingDlg()->accept();
  });
  ASSERT_TRUE(second.view()->InitialUpdate());
  EXPECT_NE(ReadFile(dir / "MainSetting.ini").find("ComPort=0\n"), std::string::npos);
}

TEST_F(OperationsTest, MainWindowIsFixedAtTheTopLeftWithItsTitle) {
  frame.PlaceAndFit();
  EXPECT_EQ(frame.windowTitle(), "Marsival RV450 Kestrun Did2.25");
  EXPECT_EQ(frame.pos(), QPoint(0, 0));
  EXPECT_LE(frame.width(), 600);
  EXPECT_GE(frame.width(), view->FormWidthPixels());
  EXPECT_EQ(frame.minimumSize(), frame.maximumSize());
  EXPECT_FALSE(frame.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(frame.windowFlags() & Qt::WindowMinimizeButtonHint);
  view->configFiles().choose = [&](bool) { return QString::fromStdString(dir / "t.ini"); };
  view->OnSaveConfigFile();
  view->OnLoadConfigFile();
  EXPECT_EQ(frame.windowTitle(), "Marsival RV450 Kestrun Did2.25");
}

// ---- The window and a running operation -------------------------------------

TEST(StartUp, PasswordFieldRefusesCommasAndLinesThatWouldNotFit) {
  CMainSettingDlg dialog(nullptr);
  QLineEdit* password = dialog.passwordEdit();
  password->setFocus();
  QTest::keyClicks(password, "58,30");
  EXPECT_EQ(password->text(), "5830");
  QTest::keyClicks(password, "123456789");
  EXPECT_EQ(static_cast<std::size_t>(password->text().toUtf8().size()), kMaxPasswordBytes);
}

TEST(StartUp, PasswordFieldDropsControlCharactersWithANote) {
  CMainSettingDlg dialog(nullptr);
  QStringList notes;
  dialog.showFailure = [&](const std::string& text) { notes << QString::fromStdString(text); };
  // Pasted (or inserted by any other way than typing).
  dialog.passwordEdit()->insert(
      "58\r3\x1b"
      "0");
  EXPECT_EQ(dialog.passwordEdit()->text(), "5830");
  WAIT_EQ(notes, QStringList{kPasswordControlCharsRemovedNote}, 5000);

  // From MainSetting.ini: shown, and taken on OK, without them.
  notes.clear();
  dialog.settings.password = "58\r30";
  dialog.InitControls();
  EXPECT_EQ(dialog.passwordEdit()->text(), "5830");
  EXPECT_EQ(notes, QStringList{kPasswordControlCharsRemovedNote});
  dialog.accept();
  EXPECT_EQ(dialog.settings.password, "5830");
}

TEST_F(OperationsTest, PortCheckWaitsWhileAnOperationRuns) {
  sim_->SetFault("AT+RVSRI?", sim::Fault::Split, 1);  // a read that takes a while
  view->OnReadAll();
  ASSERT_TRUE(view->IsBusy());
  WAIT_EQ(view->statusLine()->text(), QString("Reading AT+RVSRI ......"), 30000);
  view->InitSystem();                                 // came due, e.g. Main Setting confirmed just before
  EXPECT_FALSE(view->Control(SriRead)->isEnabled());  // the form stays busy
  EXPECT_EQ(view->statusLine()->text(), "Reading AT+RVSRI ......");
  WaitForOperation();
  EXPECT_EQ(view->statusLine()->text(), "Read AT Command Success .");
  // Once the operation has ended, the check runs after all.
  WAIT_EQ(view->statusLine()->text(), QString("Init COM:31 Baudrate:115200 Success ."),
                            10000);
  EXPECT_TRUE(view->Control(SriRead)->isEnabled());
}

TEST_F(OperationsTest, ClosingMidOperationEndsTheEventLoopWithCodeZero) {
  sim_->SetFault("AT+RVSRI?", sim::Fault::Silent);
  view->AppendHistory("AT+RVPIN=5830");  // the history window is open
  ASSERT_TRUE(view->historyDlg()->isVisible());
  QTimer::singleShot(0, [&] {
    view->OnReadAll();
    ASSERT_TRUE(view->IsBusy());
    frame.close();
  });
  QTimer::singleShot(60000, [] { QCoreApplication::exit(7); });  // a hang fails, not blocks
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_FALSE(view->IsBusy());
  EXPECT_FALSE(view->historyDlg()->isVisible());
  EXPECT_TRUE(PortIsFree());
}

TEST(ViewTeardown, DestroyingTheWindowMidOperationStopsTheWorkerFirst) {
  TempDir dir;
  auto sim = StartSimulator(dir / "ports", 32);
  sim->SetFault("AT+RVSRI?", sim::Fault::Silent);
  WriteFile(dir / "MainSetting.ini", "[Main]\nGenPassword=5830\nComPort=0\nBaudrate=1\n");
  auto frame = std::make_unique<CMainFrame>();
  CKestrunView* view = frame->view();
  view->SetDiscovery(OnlyPortsFolder(dir / "ports"));
  view->SetStartDirectory(dir.path());
  QTimer::singleShot(0, [view] { view->mainSettingDlg()->accept(); });
  ASSERT_TRUE(view->InitialUpdate());
  view->InitSystem();
  view->OnReadAll();
  ASSERT_TRUE(view->IsBusy());
  // Let the worker report a few steps, then tear everything down at once
  // (under AddressSanitizer a touch of a freed member fails the run).
  WAIT_EQ(view->statusLine()->text(), QString("Reading AT+RVSRI ......"), 30000);
  frame.reset();
  CComPort probe({.number = 32, .discovery = OnlyPortsFolder(dir / "ports")});
  EXPECT_TRUE(probe.Open());
}

TEST_F(OperationsTest, SendWritesTheReplacedValueNotTheTypedOne) {
  Tick(view->Control(TriEnable));
  Edit(BeginTime)->setFocus();
  QTest::keyClicks(Edit(BeginTime), "2400");
  QTest::keyClicks(Edit(EndTime), "1700");  // another field of the group, edited later
  QTest::mouseClick(view->Control(TriSend), Qt::LeftButton);
  WaitForOperation();
  ASSERT_EQ(view->statusLine()->text(), "Send AT Command Success .");
  std::string stored;
  sim_->WithState([&](sim::CTrackerState& s) { stored = s.ReplyBody("TRI"); });
  EXPECT_EQ(stored.substr(0, 15), "5830,2359,1700,") << stored;
  const QString history = view->historyDlg()->textArea()->toPlainText();
  EXPECT_TRUE(history.startsWith("AT+RVTRI=5830,2359,1700,")) << history.toStdString();
}

TEST_F(OperationsTest, LoadedValueOutOfRangeIsCheckedAtSend) {
  const std::string path = dir / "late.ini";
  WriteFile(path, "[RVBAC]\nSendNum=8\nMovDistance=40\n");
  view->configFiles().choose = [&](bool) { return QString::fromStdString(path); };
  view->OnLoadConfigFile();
  Tick(view->Control(BacEnable));
  QTest::mouseClick(view->Control(BacSend), Qt::LeftButton);
  WaitForOperation();
  ASSERT_EQ(view->statusLine()->text(), "Send AT Command Success .");
  EXPECT_TRUE(OpenPopupMessages().contains("Error, Movement Send Number Should be 1 ~ 5 !"));
  EXPECT_NE(view->historyDlg()->textArea()->toPlainText().indexOf(",40,5,"), -1);
  EXPECT_EQ(Edit(SendNum)->text(), "8");  // the field shows what the file said
}

// A group's Send leaves the view and the focus where they were; the status
// bar below the form says how it ended and, for a refused first line, why.
TEST_F(OperationsTest, SendKeepsTheViewAndTheFocusAndTheStatusBarTellsTheEnd) {
  static_cast<QCheckBox*>(view->Control(SriEnable))->click();
  ASSERT_TRUE(view->Control(SriSend)->isEnabled());
  frame.activateWindow();
  view->Control(SriSend)->setFocus();
  const int scrolled = view->verticalScrollBar()->value();
  QTest::mouseClick(view->Control(SriSend), Qt::LeftButton);
  WaitForOperation();
  EXPECT_EQ(view->statusLine()->text(), "Send AT Command Success .");
  EXPECT_EQ(view->verticalScrollBar()->value(), scrolled);
  EXPECT_EQ(frame.focusWidget(), view->Control(SriSend));
  EXPECT_EQ(view->statusBar()->textLabel()->text(), view->statusLine()->text());
  EXPECT_FALSE(view->statusBar()->progressBar()->isVisible());

  DismissPopups();
  sim_->SetFault("AT+RVSRI=", sim::Fault::Error);
  QTest::mouseClick(view->Control(SriSend), Qt::LeftButton);
  WaitForOperation();
  const QString hint = QString::fromStdString(HintText(Cause::WrongPassword, ComNumber()));
  ASSERT_EQ(OpenPopups().size(), 1);
  CResultDlg* popup = OpenPopups().first();
  EXPECT_EQ(popup->messageLabel()->text(), "No Right Response !");
  ASSERT_NE(popup->hintLabel(), nullptr);
  EXPECT_EQ(popup->hintLabel()->text(), hint);
  EXPECT_TRUE(view->statusBar()->toolTip().contains(hint));
}
