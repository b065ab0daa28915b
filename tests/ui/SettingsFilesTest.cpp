// Config files and the Main Setting dialog through the view: failures are
// said in a popup that names the file and the reason, loaded commas are
// reported, and Save takes the addresses the fields show.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QStandardItemModel>
#include <QTest>
#include <cerrno>
#include <filesystem>
#include <memory>

#include "../support/QtWait.h"
#include "../support/Popups.h"
#include "../support/TestSupport.h"
#include "batch/LabelLayout.h"
#include "port/SystemError.h"
#include "protocol/ControlIds.h"
#include "settings/SafeFile.h"
#include "ui/ControlCharFilter.h"
#include "ui/KestrunView.h"
#include "ui/ProvisioningChoices.h"
#include "ui/ResultDlg.h"

using namespace kestrun;
using namespace kestrun::testing;
using namespace ctl;

namespace {

ssize_t DiskFull(int, const void*, std::size_t) {
  errno = ENOSPC;
  return -1;
}

class SettingsFilesTest : public ::testing::Test {
 protected:
  SettingsFilesTest() {
    view.showLimitMessage = [this](const QString& text) { limitMessages << text; };
    view.configFiles().choose = [this](bool) { return QString::fromStdString(chosen); };
    view.resize(600, 800);
    view.show();
  }
  ~SettingsFilesTest() override {
    SetWriteCallForTests(nullptr);
    DismissPopups();
  }
  QLineEdit* Edit(int id) { return qobject_cast<QLineEdit*>(view.Control(id)); }
  CIpAddressEdit* Ip(int id) { return static_cast<CIpAddressEdit*>(view.Control(id)); }

  TempDir dir;
  std::string chosen;
  CKestrunView view;
  QStringList limitMessages;
};

}  // namespace

TEST_F(SettingsFilesTest, SaveIntoAReadOnlyFileSaysSoAndKeepsIt) {
  chosen = dir / "locked.ini";
  WriteFile(chosen, "[RVSRI]\nAPN=kept\n");
  ASSERT_EQ(::chmod(chosen.c_str(), 0444), 0);
  Edit(Apn)->setText("new");
  view.OnSaveConfigFile();
  EXPECT_EQ(OpenPopupMessages(), QStringList{QString::fromStdString("Save Config File Fail !\n" + chosen +
                                                                    "\nsaving: the file is read-only")});
  EXPECT_EQ(ReadFile(chosen), "[RVSRI]\nAPN=kept\n");
}

TEST_F(SettingsFilesTest, SaveOntoAFullDiskSaysTheSystemsReason) {
  chosen = dir / "full.ini";
  WriteFile(chosen, "[RVSRI]\nAPN=kept\n");
  SetWriteCallForTests(&DiskFull);
  view.OnSaveConfigFile();
  SetWriteCallForTests(nullptr);
  const QStringList texts = OpenPopupMessages();
  ASSERT_EQ(texts.size(), 1);
  EXPECT_TRUE(texts[0].startsWith(QString::fromStdString("Save Config File Fail !\n" + chosen + "\n")));
  EXPECT_TRUE(texts[0].endsWith(QString::fromStdString(SystemReason(ENOSPC)))) << texts[0].toStdString();
  EXPECT_EQ(ReadFile(chosen), "[RVSRI]\nAPN=kept\n");
  // The popup is big enough for its three lines.
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* p = qobject_cast<CResultDlg*>(w); p && p->isVisible()) {
      const QLabel* label = p->messageLabel();
      EXPECT_GE(label->height(), 3 * label->fontMetrics().height());
      EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(QString::fromStdString(chosen)));
      EXPECT_TRUE(p->rect().contains(label->geometry()));
    }
}

TEST_F(SettingsFilesTest, LoadOfAFifoIsRefusedAndTheFormStays) {
  chosen = dir / "pipe.ini";
  ASSERT_EQ(::mkfifo(chosen.c_str(), 0644), 0);
  view.model().values.Text(Apn) = "mine";
  view.PushForm();
  view.OnLoadConfigFile();  // must not wait for a writer
  const QStringList texts = OpenPopupMessages();
  ASSERT_EQ(texts.size(), 1);
  EXPECT_TRUE(texts[0].startsWith(QString::fromStdString("Load Config File Fail !\n" + chosen + "\n")));
  EXPECT_TRUE(texts[0].contains("FIFO"));
  EXPECT_EQ(Edit(Apn)->text(), "mine");
  EXPECT_EQ(view.model().values.Text(Apn), "mine");
}

TEST_F(SettingsFilesTest, LoadReportsAndDropsCommas) {
  chosen = dir / "commas.ini";
  WriteFile(chosen, "[RVSRI]\nAPN=a,b\n[RVWLT]\nNumb3=555,0100\n[RVPIN]\nPIN=12,34\n");
  view.OnLoadConfigFile();
  EXPECT_EQ(OpenPopupMessages(),
            QStringList{"Commas Removed From Loaded Values !\nRVSRI/APN, RVWLT/Numb3, RVPIN/PIN"});
  EXPECT_EQ(Edit(Apn)->text(), "ab");
  EXPECT_EQ(Edit(WhiteNumber[2])->text(), "5550100");
  EXPECT_EQ(view.model().values.Text(Pin), "1234");

  // A later Send line carries no comma of a value.
  view.model().SetPassword("5830");
  view.model().values.Number(PinCheck) = 1;
  EXPECT_EQ(view.model().PrepareSend(Group::Pin, view).front().rfind("AT+RVPIN=5830,0,1234,1,,", 0), 0u);
}

TEST_F(SettingsFilesTest, ControlCharactersNeverStayInAField) {
  // Loaded: dropped, with a note naming the keys next to the comma note.
  chosen = dir / "control.ini";
  WriteFile(chosen, "[RVSRI]\nAPN=inter,net\rAT+CFUN=0\n[RVKPN]\nPhoneName0=Bob\x1b[2J\n");
  view.OnLoadConfigFile();
  EXPECT_EQ(OpenPopupMessages(), QStringList{"Commas Removed From Loaded Values !\nRVSRI/APN\n"
                                             "Control Characters Removed From Loaded Values !\n"
                                             "RVSRI/APN, RVKPN/PhoneName0"});
  EXPECT_EQ(Edit(Apn)->text(), "internetAT+CFUN=0");
  EXPECT_EQ(Edit(PhoneName[0])->text(), "Bob[2J");
  DismissPopups();

  // Committed by an input method (or set by an accessibility tool): removed, with a note.
  QLineEdit* name = Edit(PhoneName[1]);
  name->setFocus();
  QInputMethodEvent commit;
  commit.setCommitString("Al\ri\tce");
  QApplication::sendEvent(name, &commit);
  EXPECT_EQ(name->text(), "Alice");
  WAIT_EQ(OpenPopupMessages(), QStringList{kControlCharsRemovedNote}, 5000);
}

TEST_F(SettingsFilesTest, SaveTakesTheAddressesTheFieldsShow) {
  // An over-long APN stops the pull before the address fields.
  chosen = dir / "long.ini";
  WriteFile(chosen, "[RVSRI]\nAPN=" + std::string(41, 'n') + "\nIP1=44\n[RVBEI]\nIP1=44\n");
  view.OnLoadConfigFile();
  Ip(SriIp)->SetOctets({192, 168, 1, 2});
  Ip(BeiIp)->SetOctets({10, 20, 30, 40});
  chosen = dir / "saved.ini";
  view.OnSaveConfigFile();
  EXPECT_EQ(limitMessages, QStringList{"Please enter no more than 40 characters."});
  CIniFile saved(chosen);
  EXPECT_EQ(saved.GetInt("RVSRI", "IP1", -1), 192);
  EXPECT_EQ(saved.GetInt("RVSRI", "IP4", -1), 2);
  EXPECT_EQ(saved.GetInt("RVBEI", "IP1", -1), 10);
  EXPECT_EQ(saved.GetInt("RVBEI", "IP2", -1), 20);
  EXPECT_EQ(saved.GetInt("RVBEI", "IP3", -1), 30);
  EXPECT_EQ(saved.GetInt("RVBEI", "IP4", -1), 40);
  EXPECT_EQ(saved.GetString("RVSRI", "APN", "").size(), 41u);  // written as the form holds it
}

TEST_F(SettingsFilesTest, MainSettingFastExchangeBoxAndFailures) {
  CMainSettingDlg* dialog = view.mainSettingDlg();
  QStringList failures;
  dialog->showFailure = [&](const std::string& text) { failures << QString::fromStdString(text); };
  dialog->settings.file.path = dir / "MainSetting.ini";
  WriteFile(dialog->settings.file.path, "[Main]\nGenPassword=1\nPacing=fast\n");
  EXPECT_TRUE(dialog->LoadMainSetting());
  dialog->InitControls();
  EXPECT_TRUE(dialog->fastExchangeBox()->isChecked());
  EXPECT_EQ(dialog->fastExchangeBox()->text(), "Fast exchange");
  dialog->fastExchangeBox()->setChecked(false);
  dialog->accept();
  EXPECT_EQ(dialog->settings.pacing, CPacing::Specified());
  EXPECT_TRUE(dialog->SaveMainSetting());
  EXPECT_EQ(ReadFile(dialog->settings.file.path),
            "[Main]\nGenPassword=1\nPacing=specified\nComPort=-1\nBaudrate=1\n");
  EXPECT_TRUE(failures.isEmpty());

  // A read-only MainSetting.ini is kept, and the popup says why.
  ASSERT_EQ(::chmod(dialog->settings.file.path.c_str(), 0444), 0);
  dialog->settings.password = "changed";
  EXPECT_FALSE(dialog->SaveMainSetting());
  EXPECT_EQ(failures,
            QStringList{QString::fromStdString("Save Main Setting Fail !\n" + dialog->settings.file.path +
                                               "\nsaving: the file is read-only")});
  EXPECT_EQ(ReadFile(dialog->settings.file.path).find("changed"), std::string::npos);
  // One that is not a file at all cannot be loaded: defaults, and a popup.
  const std::string folder = dir / "folder";
  std::filesystem::create_directory(folder);
  dialog->settings.file.path = folder;
  EXPECT_FALSE(dialog->LoadMainSetting());
  EXPECT_EQ(dialog->settings.password, "5830");
  ASSERT_EQ(failures.size(), 2);
  EXPECT_TRUE(failures[1].startsWith(QString::fromStdString("Load Main Setting Fail !\n" + folder + "\n")));
}

// The config file dialogs open in the folder config files were last chosen
// in (with nothing remembered, the working folder: RememberedChoicesTest);
// Save selects the name it is given to suggest, Load the file last chosen.
TEST_F(SettingsFilesTest, ConfigFileDialogsOpenWhereTheLastOneWasChosen) {
  view.configFiles().folders = CRememberedFolders(dir / "MainSetting.ini", dir.path());
  const auto shown = [&](bool save, const std::string& suggested) {
    std::unique_ptr<QFileDialog> dialog(view.configFiles().CreateDialog(save, suggested));
    const QStringList selected = dialog->selectedFiles();
    return std::make_pair(dialog->directory().absolutePath().toStdString(),
                          selected.isEmpty() ? std::string() : selected.first().toStdString());
  };
  std::filesystem::create_directories(dir / "fleet");
  chosen = dir / "fleet/first.ini";
  view.OnSaveConfigFile();
  EXPECT_EQ(shown(true, "490154203237518.ini"),
            std::make_pair(dir / "fleet", dir / "fleet/490154203237518.ini"));
  EXPECT_EQ(shown(false, {}), std::make_pair(dir / "fleet", chosen));
}

// The Provisioning window's choices on its controls: put back at start (the
// stretching column keeps its own width, the labels' page format), a change written at once, the
// file chosen and its folder remembered.
TEST(ProvisioningChoicesTest, ControlsComeBackAndChangesAreKept) {
  TempDir dir;
  const std::string path = dir / "MainSetting.ini";
  WriteFile(path, "[Provisioning]\nSkipDone=1\nColumnWidths=IMEI:211,Result:5\nLabelLayout=62x29\n");
  QWidget window;
  QLineEdit templateEdit(&window), tableEdit(&window);
  QCheckBox deal(&window), skip(&window);
  QTableView rows(&window);
  QStandardItemModel columns(0, 2);
  columns.setHorizontalHeaderLabels({"IMEI", "Result"});
  rows.setModel(&columns);
  rows.horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  QComboBox layouts(&window);
  layouts.addItem("a4-3x8", static_cast<int>(batch::LabelLayout::A4Grid3x8));
  layouts.addItem("62x29", static_cast<int>(batch::LabelLayout::Roll62x29));
  CProvisioningChoices choices(dir.path(), {&templateEdit, &tableEdit, &deal, &skip, &rows, &layouts},
                               &window);
  EXPECT_TRUE(skip.isChecked());
  EXPECT_EQ(layouts.currentIndex(), 1);
  EXPECT_EQ(rows.columnWidth(0), 211);
  deal.setChecked(true);
  QString openedIn;
  choices.dialog = [&](const QString&, const QString& folder, const QString&, const QString&) {
    openedIn = folder;
    return QString::fromStdString(dir / "fleet.csv");
  };
  choices.ChooseFile(FileKind::Table, &tableEdit, "Table:", "*.csv");
  EXPECT_EQ(openedIn.toStdString(), dir.path());
  layouts.setCurrentIndex(0);
  ProvisioningChoices kept;
  ASSERT_TRUE(LoadProvisioningChoices(path, kept));
  EXPECT_TRUE(kept.dealRowsInOrder);
  EXPECT_EQ(kept.labelLayout, "a4-3x8");
  EXPECT_EQ(kept.tableFile, dir / "fleet.csv");
  EXPECT_EQ(kept.columnWidths, (std::vector<std::pair<std::string, int>>{{"IMEI", 211}}));
  EXPECT_EQ(CRememberedFolders(path, "/").FolderFor(FileKind::Table), dir.path());
}

TEST(ResultDlg, ShortMessagesKeepTheUsualSize) {
  CResultDlg one(nullptr, "RV450 Kestrun", "No Response !", kIconFailure, false, 1000);
  CResultDlg two(nullptr, "RV450 Kestrun", "OK", kIconFailure, false, 1000);
  EXPECT_EQ(one.size(), two.size());
  CResultDlg longer(nullptr, "RV450 Kestrun", "First line\nSecond line\nThird line", kIconFailure, false,
                    1000);
  EXPECT_GT(longer.height(), one.height());
}
