#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <atomic>
#include <thread>

#include "../support/QtWait.h"
#include "../support/Popups.h"
#include "protocol/ControlIds.h"
#include "ui/AboutDlg.h"
#include "ui/HistoryDlg.h"
#include "ui/KestrunView.h"
#include "ui/ResultDlg.h"
#include "ui/WindowEvents.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

class FeedbackTest : public ::testing::Test {
 protected:
  FeedbackTest() {
    view.resize(600, 700);
    view.move(0, 0);
    view.show();
  }
  ~FeedbackTest() override { DismissPopups(); }
  CKestrunView view;
};

}  // namespace

TEST_F(FeedbackTest, FailurePopupStaysAtItsPlaceAndStacks) {
  view.ShowResult("RV450 Kestrun", "No Response !", kIconFailure, false, 1000);
  view.ShowResult("RV450 Kestrun", "Read Data Error !", kIconFailure, false, 1000);
  const auto popups = OpenPopups();
  ASSERT_EQ(popups.size(), 2);
  const QPoint expected = view.mapToGlobal(QPoint(0, 0)) + QPoint(90, 200);
  for (CResultDlg* p : popups) {
    EXPECT_EQ(p->pos(), expected);
    EXPECT_EQ(p->windowTitle(), "RV450 Kestrun");
    EXPECT_FALSE(p->autoCloseArmed());
    EXPECT_FALSE(p->successIcon()->isVisibleTo(p));
    EXPECT_TRUE(p->failureIcon()->isVisibleTo(p));
  }
  QStringList messages;
  for (CResultDlg* p : popups) messages << p->messageLabel()->text();
  messages.sort();
  EXPECT_EQ(messages, (QStringList{"No Response !", "Read Data Error !"}));
}

TEST_F(FeedbackTest, SuccessPopupClosesItself) {
  view.ShowResult("RV450 Kestrun", "Read Setting Success .", kIconSuccess, true, 100);
  ASSERT_EQ(OpenPopups().size(), 1);
  QPointer<CResultDlg> popup = OpenPopups().first();
  EXPECT_TRUE(popup->successIcon()->isVisibleTo(popup));
  EXPECT_FALSE(popup->failureIcon()->isVisibleTo(popup));
  WAIT_UNTIL(popup.isNull(), 10000);
}

TEST_F(FeedbackTest, OtherIconKindShowsNoIcon) {
  view.ShowResult("RV450 Kestrun", "?", static_cast<ResultIcon>(5), false, 1000);  // no such icon
  CResultDlg* popup = OpenPopups().first();
  EXPECT_FALSE(popup->successIcon()->isVisibleTo(popup));
  EXPECT_FALSE(popup->failureIcon()->isVisibleTo(popup));
}

TEST_F(FeedbackTest, EngineEventsFromAWorkerAreAppliedBeforeTheWorkerGoesOn) {
  CWindowEvents events(view.controller());
  std::atomic<bool> done{false};
  std::thread worker([&] {
    events.PopupRequested({"RV450 Kestrun", "No Right Response !", kIconFailure, false, 1000, {}});
    events.StatusChanged("No Right Response !");
    done = true;
  });
  WAIT_UNTIL(done.load(), 10000);
  worker.join();
  ASSERT_EQ(OpenPopups().size(), 1);
  EXPECT_EQ(OpenPopups().first()->messageLabel()->text(), "No Right Response !");
  EXPECT_EQ(view.statusLine()->text(), "No Right Response !");
  EXPECT_EQ(view.statusLine()->accessibleName(), "No Right Response !");
}

TEST_F(FeedbackTest, DetachedEventsReleaseAWaitingWorkerAndChangeNothing) {
  view.SetStatus("before");
  CWindowEvents events(view.controller());
  // The window thread serves no events here: the worker waits until the
  // view is detached, and what it reported never reaches the view.
  std::thread worker([&] { events.StatusChanged("after"); });
  events.Detach();
  worker.join();
  QCoreApplication::processEvents();
  EXPECT_EQ(view.statusLine()->text(), "before");
}

TEST(HistoryDlg, AppendsClearsAndOnlyHidesOnClose) {
  CHistoryDlg history(nullptr);
  history.show();
  EXPECT_EQ(history.pos(), QPoint(601, 0));
  EXPECT_EQ(history.windowTitle(), "Protocol Commands History");
  for (int i = 0; i < 30; ++i) history.Append(QString("AT+RVSRI=5830,%1").arg(i));
  EXPECT_TRUE(history.textArea()->toPlainText().endsWith("AT+RVSRI=5830,29\n"));
  EXPECT_GT(history.textArea()->verticalScrollBar()->value(), 0);
  history.close();
  EXPECT_FALSE(history.isVisible());
  history.Append("after close");
  EXPECT_TRUE(history.textArea()->toPlainText().endsWith("after close\n"));
  history.Clear();
  EXPECT_TRUE(history.textArea()->toPlainText().isEmpty());
}

TEST(AboutDlg, OnlyAPlainLeftClickStrictlyInsideOpensTheSite) {
  CAboutDlg about;
  QStringList opened;
  about.openUrl = [&](const QString& url) { opened << url; };
  about.show();
  const QRect logo = about.logo()->geometry();
  QTest::mouseClick(&about, Qt::LeftButton, Qt::ShiftModifier, logo.center());
  QTest::mouseClick(&about, Qt::LeftButton, Qt::ControlModifier, logo.center());
  QTest::mouseClick(&about, Qt::RightButton, {}, logo.center());
  EXPECT_TRUE(opened.isEmpty());
  QTest::mouseClick(about.address(), Qt::LeftButton, {}, about.address()->rect().center());
  QTest::mouseClick(&about, Qt::LeftButton, {}, logo.center());
  EXPECT_EQ(opened.size(), 2);
  EXPECT_EQ(about.windowTitle(), "About This Tool");
  EXPECT_EQ(about.logo()->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(about.address()->cursor().shape(), Qt::PointingHandCursor);
}

// A difference mark frames its field (the report mode's four buttons at once)
// and adds its tooltip; unmarked, the field's own tooltip is back.
TEST_F(FeedbackTest, DifferenceMarksFrameTheFieldAndGiveBackItsTooltip) {
  using namespace ctl;
  view.Control(Apn)->setToolTip("own");
  view.MarkDifferences({{Apn, "tracker: internet"}, {ReportMode, "tracker: 2"}});
  EXPECT_EQ(view.Control(Apn)->toolTip(), "own\ntracker: internet");
  EXPECT_EQ(view.Control(ReportMode3)->toolTip(), "tracker: 2");
  const QFrame* modes = view.differenceMarks().Frame(ReportMode);
  ASSERT_NE(modes, nullptr);
  EXPECT_TRUE(modes->geometry().contains(view.Control(ReportMode3)->geometry().topLeft()));
  EXPECT_TRUE(modes->testAttribute(Qt::WA_TransparentForMouseEvents));

  view.MarkDifferences({{ReportMode, "tracker: 2"}});
  EXPECT_EQ(view.differenceMarks().Frame(Apn), nullptr);
  EXPECT_EQ(view.Control(Apn)->toolTip(), "own");
  view.MarkDifferences({});
  EXPECT_EQ(view.Control(ReportMode3)->toolTip(), "");
}
