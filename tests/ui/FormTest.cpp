#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTest>

#include "../support/Popups.h"
#include "protocol/ControlIds.h"
#include "protocol/FormFields.h"
#include "ui/FormInputs.h"
#include "ui/FormLayout.h"
#include "ui/KestrunView.h"

using namespace kestrun;
using namespace kestrun::testing;
using namespace ctl;

namespace {

class FormTest : public ::testing::Test {
 protected:
  FormTest() {
    view.showLimitMessage = [this](const QString& text) { limitMessages << text; };
    view.resize(600, 800);
    view.show();
  }
  ~FormTest() override { DismissPopups(); }
  QLineEdit* Edit(int id) { return qobject_cast<QLineEdit*>(view.Control(id)); }
  QCheckBox* Box(int id) { return qobject_cast<QCheckBox*>(view.Control(id)); }
  bool Enabled(int id) { return view.Control(id)->isEnabled(); }

  CKestrunView view;
  QStringList limitMessages;
};

// Every control that can start, change or trigger something.
std::vector<int> ActiveControls() {
  std::vector<int> ids;
  for (const ControlEntry& entry : FormControls())
    if (entry.id && entry.kind != CtlKind::Label && entry.kind != CtlKind::Frame &&
        entry.kind != CtlKind::Status && entry.kind != CtlKind::Preview && entry.kind != CtlKind::RichText)
      ids.push_back(entry.id);
  return ids;
}

std::vector<int> BoxesAndReads() {
  std::vector<int> ids;
  for (const GroupInfo& info : AllGroups()) {
    if (info.enableBox > 0) ids.push_back(info.enableBox);
    if (info.readButton > 0) ids.push_back(info.readButton);
  }
  for (int id : FenceBox) ids.push_back(id);
  for (int id : KeyBox) ids.push_back(id);
  return ids;
}

}  // namespace

TEST_F(FormTest, BusyStateDisablesEverythingAndIdleRestoresFromTheValues) {
  for (int id : ActiveControls()) EXPECT_TRUE(Enabled(id)) << id;  // as created, before the port check
  view.SetFormEnabled(false);
  for (int id : ActiveControls()) EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_FALSE(Enabled(PinRead));
  view.SetFormEnabled(true);
  const auto idleOnes = BoxesAndReads();
  for (int id : ActiveControls()) {
    const bool expected = std::find(idleOnes.begin(), idleOnes.end(), id) != idleOnes.end();
    EXPECT_EQ(Enabled(id), expected) << id;
  }
  view.model().values.Number(FenceBox[2]) = 1;
  view.model().values.Number(SriEnable) = 1;
  view.SetFormEnabled(false);
  view.SetFormEnabled(true);
  EXPECT_TRUE(Enabled(Longitude[2]));
  EXPECT_FALSE(Enabled(Longitude[1]));
  EXPECT_TRUE(Enabled(GeoSend));
  EXPECT_TRUE(Enabled(Apn));
  EXPECT_TRUE(Enabled(ReportMode3));
  EXPECT_FALSE(Enabled(KpnSend));
}

TEST_F(FormTest, FenceBoxRunsWithoutTheLiveFlagAndKeyBoxWithIt) {
  view.SetFormEnabled(true);
  ASSERT_FALSE(view.model().liveUpdate);
  QTest::mouseClick(Box(FenceBox[1]), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(Enabled(Latitude[1]));
  EXPECT_TRUE(Enabled(GeoSend));
  EXPECT_FALSE(Edit(FencePreview[1])->text().isEmpty());
  QTest::mouseClick(Box(FenceBox[1]), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_FALSE(Enabled(Latitude[1]));
  EXPECT_FALSE(Enabled(GeoSend));
  EXPECT_TRUE(Edit(FencePreview[1])->text().isEmpty());

  QTest::mouseClick(Box(KeyBox[0]), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_FALSE(Enabled(PhoneNumber[0]));  // no live flag: nothing happens
  view.model().liveUpdate = true;
  QTest::mouseClick(Box(KeyBox[0]), Qt::LeftButton, {}, QPoint(5, 5));  // unticks
  QTest::mouseClick(Box(KeyBox[0]), Qt::LeftButton, {}, QPoint(5, 5));  // ticks
  EXPECT_TRUE(Enabled(PhoneNumber[0]));
  EXPECT_TRUE(Enabled(KpnSend));
  EXPECT_TRUE(Edit(KeyPreview[0])->text().startsWith("AT+RVKPN=,0,,,"));
}

TEST_F(FormTest, PreviewFollowsTypingOnlyWhileLive) {
  view.PushForm();
  Edit(Apn)->setFocus();
  QTest::keyClicks(Edit(Apn), "web");
  EXPECT_TRUE(Edit(SriPreview)->text().isEmpty());
  view.model().liveUpdate = true;
  view.model().SetPassword("5830");
  QTest::keyClicks(Edit(Apn), "x");
  EXPECT_TRUE(Edit(SriPreview)->text().startsWith("AT+RVSRI=5830,0,0,webx,,,,,,"))
      << Edit(SriPreview)->text().toStdString();
  QTest::keyClicks(Edit(BeginTime), "2400");
  EXPECT_TRUE(Edit(TriPreview)->text().startsWith("AT+RVTRI=5830,2359,"));
  EXPECT_EQ(Edit(BeginTime)->text(), "2400");
  EXPECT_TRUE(OpenPopupMessages().contains("Error, Begin Time Should be 0000 ~ 2359 !"));
  static_cast<QComboBox*>(view.Control(RtoOption))->setCurrentIndex(9);
  EXPECT_EQ(view.model().values.Number(RtoOption), 9);
  EXPECT_TRUE(Edit(RtoPreview)->text().startsWith("AT+RVRTO=5830,B,"));
  static_cast<CIpAddressEdit*>(view.Control(SriIp))->OctetField(0)->setText("10");
  EXPECT_NE(Edit(SriPreview)->text().indexOf(",10.0.0.0,"), -1);
}

TEST_F(FormTest, RangeReplacementHoldsAcrossLaterEditsOfTheGroup) {
  view.PushForm();
  view.model().liveUpdate = true;
  view.model().SetPassword("5830");
  Edit(BeginTime)->setFocus();
  QTest::keyClicks(Edit(BeginTime), "2400");
  EXPECT_EQ(OpenPopupMessages().count("Error, Begin Time Should be 0000 ~ 2359 !"), 1);
  QTest::keyClicks(Edit(EndTime), "1800");
  QTest::keyClicks(Edit(SendInterval), "5");
  EXPECT_TRUE(Edit(TriPreview)->text().startsWith("AT+RVTRI=5830,2359,1800,5,,"))
      << Edit(TriPreview)->text().toStdString();
  EXPECT_EQ(Edit(BeginTime)->text(), "2400");  // the field shows what was typed
  EXPECT_EQ(OpenPopupMessages().count("Error, Begin Time Should be 0000 ~ 2359 !"), 1);
  // Editing the field itself again: its new text is checked and used.
  Edit(BeginTime)->selectAll();
  QTest::keyClicks(Edit(BeginTime), "0930");
  QTest::keyClicks(Edit(SendInterval), "0");
  EXPECT_TRUE(Edit(TriPreview)->text().startsWith("AT+RVTRI=5830,0930,1800,50,,"))
      << Edit(TriPreview)->text().toStdString();

  QTest::keyClicks(Edit(SendNum), "9");
  EXPECT_TRUE(OpenPopupMessages().contains("Error, Movement Send Number Should be 1 ~ 5 !"));
  QTest::keyClicks(Edit(MovDistance), "77");
  EXPECT_NE(Edit(BacPreview)->text().indexOf(",77,5,"), -1) << Edit(BacPreview)->text().toStdString();
}

TEST_F(FormTest, TypingStopsAtTheLimitAndRefusesCommasAndPaste) {
  QLineEdit* apn = Edit(Apn);
  apn->setFocus();
  QTest::keyClicks(apn, QString(45, 'a'));
  EXPECT_EQ(apn->text().size(), 40);
  apn->clear();
  QTest::keyClicks(apn, "a,b");
  EXPECT_EQ(apn->text(), "ab");
  QTest::keyClicks(Edit(WhiteNumber[0]), "12a3");
  EXPECT_EQ(Edit(WhiteNumber[0])->text(), "123");
  QTest::keyClicks(Edit(Pin), "12345678X");
  EXPECT_EQ(Edit(Pin)->text(), "12345678");
  QApplication::clipboard()->setText("pasted");
  QTest::keyClick(apn, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(apn, Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(apn->text(), "ab");
  QTest::keyClick(apn, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(apn->text(), "ab");
}

TEST_F(FormTest, FieldsTakeTheirRulesCharactersAndMarkAValueThatBreaksTheRule) {
  struct Case {
    int id;
    const char* typed;
    const char* kept;
    const char* loaded;   // then put there by the program, as a config file does
    const char* tooltip;  // empty: not marked
  };
  const Case cases[] = {
      {SendInterval, "1a5", "15", "abc", "Must be digits only"},
      {SriPort, "7O00", "700", "7000", ""},
      {SmsGateway, "+49 170", "+49170", "49+170", "Must be digits with an optional leading +"},
      {Longitude[0], "-1.5e3", "-1.53", "1e400", "Must be a decimal number within \u00b1180"},
      {Apn, "web", "web", "web", ""},
  };
  for (const Case& c : cases) {
    auto* edit = static_cast<CFormEdit*>(Edit(c.id));
    edit->clear();
    QTest::keyClicks(edit, c.typed);
    EXPECT_EQ(edit->text(), c.kept) << c.typed;
    EXPECT_FALSE(edit->BreaksRule()) << c.typed;
    view.model().values.Text(c.id) = c.loaded;
    view.PushForm();
    EXPECT_EQ(edit->BreaksRule(), *c.tooltip != 0) << c.loaded;
    EXPECT_EQ(edit->toolTip(), QString::fromUtf8(c.tooltip)) << c.loaded;
  }
}

namespace {

// Types each character as a key press carrying it (QTest's key clicks take
// only ASCII); a euro sign arrives so from a keyboard layout that has one.
void TypeText(QLineEdit* edit, const QString& text) {
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(edit, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(edit, &release);
  }
}

// Commits text as an input method does (compose key, CJK input).
void CommitText(QLineEdit* edit, const QString& text) {
  QInputMethodEvent event;
  event.setCommitString(text);
  QApplication::sendEvent(edit, &event);
}

}  // namespace

TEST_F(FormTest, InputLimitCountsTheBytesOfTheStoredText) {
  const QString euro = QString::fromUtf8("\xE2\x82\xAC");
  QLineEdit* user = Edit(ApnUser);  // 20 bytes
  user->setFocus();
  TypeText(user, euro.repeated(7));
  EXPECT_EQ(user->text(), euro.repeated(6));  // a seventh would need bytes 19 to 21
  QTest::keyClicks(user, "ab");
  EXPECT_EQ(user->text(), euro.repeated(6) + "ab");
  QTest::keyClicks(user, "c");
  EXPECT_EQ(user->text(), euro.repeated(6) + "ab");
  // With part of the text selected, the selection's bytes are given back.
  user->setSelection(0, 1);
  QTest::keyClicks(user, "xyz");
  EXPECT_EQ(user->text(), "xyz" + euro.repeated(5) + "ab");
  CommitText(user, euro);  // 23 bytes: refused whole
  EXPECT_EQ(user->text(), "xyz" + euro.repeated(5) + "ab");
  view.PullForm();
  EXPECT_TRUE(limitMessages.isEmpty());
  EXPECT_EQ(view.model().values.Text(ApnUser), ("xyz" + euro.repeated(5) + "ab").toStdString());
}

TEST_F(FormTest, PullCountsBytesAsStoredForTheLimit) {
  std::string sevenEuros;
  for (int i = 0; i < 7; ++i) sevenEuros += "\xE2\x82\xAC";
  view.model().values.Text(ApnUser) = sevenEuros;                    // 7 characters, 21 bytes: over
  view.model().values.Text(PhoneName[0]) = std::string(20, '\xF6');  // 20 bytes, not UTF-8: within
  view.PushForm();
  EXPECT_FALSE(view.PullForm());
  EXPECT_EQ(limitMessages, QStringList{"Please enter no more than 20 characters."});
  EXPECT_EQ(view.model().values.Text(ApnUser), sevenEuros);  // shown and pulled whole
  limitMessages.clear();
  view.model().values.Text(ApnUser) = "";
  view.PushForm();
  EXPECT_TRUE(view.PullForm());
  EXPECT_TRUE(limitMessages.isEmpty());
  EXPECT_EQ(view.model().values.Text(PhoneName[0]), std::string(20, '\xF6'));  // byte for byte
}

TEST_F(FormTest, PullStopsAtAnOverLongValueWithTheMessage) {
  view.model().values.Text(Apn) = std::string(41, 'n');
  view.model().values.Text(ApnUser) = "old";
  view.PushForm();
  EXPECT_EQ(Edit(Apn)->text().size(), 41);  // shown whole
  Edit(ApnUser)->setText("new");
  EXPECT_FALSE(view.PullForm());
  EXPECT_EQ(limitMessages, QStringList{"Please enter no more than 40 characters."});
  EXPECT_EQ(view.model().values.Text(Apn).size(), 41u);
  EXPECT_EQ(view.model().values.Text(ApnUser), "old");  // after the failing field: not pulled
  EXPECT_TRUE(Edit(Apn)->hasFocus() || QApplication::focusWidget() == nullptr);
  EXPECT_EQ(Edit(Apn)->selectedText().size(), 41);
}

TEST_F(FormTest, OverLongLoadedPortIsCutAtTheNextRefresh) {
  view.model().values.Text(SriPort) = "123456";
  view.PushForm();
  view.model().liveUpdate = true;
  QTest::keyClicks(Edit(ApnUser), "u");
  EXPECT_EQ(limitMessages.size(), 1);
  EXPECT_TRUE(OpenPopupMessages().contains("Error, Server Port > 5 Byte"));
  EXPECT_NE(Edit(SriPreview)->text().indexOf(",12345,"), -1);
}

TEST_F(FormTest, RadioAndListsShowNoSelectionForOutOfRangeValues) {
  view.model().values.Number(ReportMode) = -1;
  view.model().values.Number(FenceType[0]) = 5;
  view.PushForm();
  for (int id = ReportMode0; id <= ReportMode3; ++id)
    EXPECT_FALSE(static_cast<QRadioButton*>(view.Control(id))->isChecked());
  EXPECT_EQ(static_cast<QComboBox*>(view.Control(FenceType[0]))->currentIndex(), -1);
  view.PullForm();
  EXPECT_EQ(view.model().values.Number(ReportMode), -1);
  EXPECT_EQ(view.model().values.Number(FenceType[0]), -1);
}

TEST_F(FormTest, BytesThatAreNotUtf8SurviveUnlessEdited) {
  view.model().values.Text(PhoneName[1]) = "J\xf6rg";
  view.model().values.Text(PhoneName[2]) = "M\xfcller";
  view.PushForm();
  Edit(PhoneName[2])->setText("Mia");
  view.PullForm();
  EXPECT_EQ(view.model().values.Text(PhoneName[1]), "J\xf6rg");
  EXPECT_EQ(view.model().values.Text(PhoneName[2]), "Mia");
}

TEST_F(FormTest, EveryControlHasAnAccessibleNameUniqueInItsGroup) {
  for (const GroupBoxEntry& entry : GroupBoxes()) {
    QGroupBox* box = view.GroupBoxOf(entry.group);
    EXPECT_EQ(box->accessibleName().toStdString(), entry.title);
    QSet<QString> names;
    for (const ControlEntry& c : FormControls()) {
      if (!c.id || c.kind == CtlKind::Status || view.Control(c.id)->parentWidget() != box) continue;
      const QString name = view.Control(c.id)->accessibleName();
      EXPECT_FALSE(name.isEmpty()) << c.id;
      EXPECT_FALSE(names.contains(name)) << name.toStdString();
      names.insert(name);
    }
  }
  EXPECT_EQ(view.Control(Longitude[1])->accessibleName(), "Longitude 2");
  EXPECT_EQ(view.Control(PhoneNumber[0])->accessibleName(), "Phone Number SOS");
  EXPECT_EQ(view.Control(KeyPreview[0])->accessibleName(), "SOS Key:");
  EXPECT_EQ(view.Control(SriPreview)->accessibleName(), "Command Preview");
  EXPECT_EQ(view.Control(BeiPort)->accessibleName(), "Server Port");
  EXPECT_EQ(view.Control(KpnEnable[3])->accessibleName(), "KPN Enable 3");
}

TEST_F(FormTest, GroupsKeepTheirRowsInOrder) {
  int lastBottom = 0;
  for (const GroupBoxEntry& entry : GroupBoxes()) {
    QGroupBox* box = view.GroupBoxOf(entry.group);
    EXPECT_GT(box->y(), lastBottom);
    lastBottom = box->geometry().bottom();
    for (QWidget* child : box->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
      EXPECT_TRUE(box->rect().contains(child->geometry()))
          << entry.title << " " << child->accessibleName().toStdString();
  }
  EXPECT_EQ(static_cast<QComboBox*>(view.Control(RtoOption))->itemText(0).toStdString(),
            "1: Require the terminal to report the current position immediately ");
}

// The field table's list sizes, which the config check holds values to, are
// the layout's: a list's items, a radio group's buttons.
TEST(FormLayoutTest, ListSizesOfTheFieldTableAreTheLayouts) {
  for (const FormField& f : FormFields()) {
    if (f.kind == ValueKind::Index) {
      ASSERT_NE(FindControl(f.id), nullptr) << f.key;
      EXPECT_EQ(static_cast<int>(FindControl(f.id)->items.size()), f.listSize) << f.key;
    } else if (f.kind == ValueKind::Radio) {
      for (int i = 0; i <= f.listSize; ++i) {
        const ControlEntry* c = FindControl(f.id + i);
        EXPECT_EQ(c && c->kind == CtlKind::Radio, i < f.listSize) << f.key << " " << i;
      }
    }
  }
}

TEST(IpAddressEdit, BlankOctetsReadZeroAndEveryOctetChangeIsReported) {
  CIpAddressEdit ip;
  ip.show();
  int changes = 0;
  QObject::connect(&ip, &CIpAddressEdit::octetChanged, [&] { ++changes; });
  EXPECT_EQ(ip.Octets(), (std::array<int, 4>{0, 0, 0, 0}));
  QTest::keyClicks(ip.OctetField(0), "25");
  QTest::keyClicks(ip.OctetField(2), "7");
  EXPECT_EQ(ip.Octets(), (std::array<int, 4>{25, 0, 7, 0}));
  EXPECT_EQ(changes, 3);
  ip.SetOctets({300, 1, 2, 3});  // low 8 bits, as a reply's 300 shows
  EXPECT_EQ(ip.Octets(), (std::array<int, 4>{44, 1, 2, 3}));
}

TEST(IpAddressEdit, KeysMoveBetweenTheBoxesAsAddressFieldsDo) {
  struct Case {
    const char* name;
    std::array<int, 4> before;      // then the first box is selected
    std::vector<std::string> keys;  // typed into the box that has the focus; "<" is Backspace
    std::array<QString, 4> after;
    int focusBox;
    QString note;  // the capped note, if any
  };
  const QString capped = CIpAddressEdit::CappedNote("300");
  const std::vector<Case> cases = {
      {"full stops move on",
       {192, 168, 10, 20},
       {"1", "0", ".", "0", ".", "0", ".", "5"},
       {"10", "0", "0", "5"},
       3,
       ""},
      {"spaces move on", {0, 0, 0, 0}, {"1", " ", "2", " ", "3"}, {"1", "2", "3", "0"}, 2, ""},
      {"a full stop in an empty box stays", {0, 0, 0, 0}, {"<", ".", "7"}, {"7", "0", "0", "0"}, 0, ""},
      {"the third digit moves on", {0, 0, 0, 0}, {"1", "2", "7", "9"}, {"127", "9", "0", "0"}, 1, ""},
      {"over 255 becomes 255", {0, 0, 0, 0}, {"3", "0", "0"}, {"255", "0", "0", "0"}, 1, capped},
      {"backspace in an empty box goes back", {1, 2, 3, 4}, {".", "<", "<", "<"}, {"", "", "3", "4"}, 0, ""},
      {"a dotted address fills every box", {0, 0, 0, 0}, {"10.20.30.40"}, {"10", "20", "30", "40"}, 3, ""},
      {"from the box it arrives in",
       {9, 9, 9, 9},
       {"1", ".", "10.300.7"},
       {"1", "10", "255", "7"},
       3,
       capped},
  };
  for (const Case& c : cases) {
    CIpAddressEdit ip;
    ip.show();
    ip.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&ip)) << c.name;
    QStringList notes;
    QObject::connect(&ip, &CIpAddressEdit::octetCapped, [&](int, const QString& note) { notes << note; });
    ip.SetOctets(c.before);
    ip.OctetField(0)->setFocus();
    ip.OctetField(0)->selectAll();
    for (const std::string& key : c.keys) {
      auto* box = qobject_cast<QLineEdit*>(QApplication::focusWidget());
      ASSERT_NE(box, nullptr) << c.name;
      if (key == "<")
        QTest::keyClick(box, Qt::Key_Backspace);
      else if (key.size() > 1)
        CommitText(box, QString::fromStdString(key));  // as an input method hands over a whole text
      else
        QTest::keyClicks(box, QString::fromStdString(key));
    }
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ip.OctetField(i)->text(), c.after[i]) << c.name << " box " << i;
    EXPECT_EQ(QApplication::focusWidget(), ip.OctetField(c.focusBox)) << c.name;
    EXPECT_EQ(notes.join(""), c.note) << c.name;
  }
}
