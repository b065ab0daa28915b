// The terminal window over the real view and port, against the simulator:
// what only the window does (the lines it shows, recall, the refusal while
// the form's operation has the port, and the form held off meanwhile). What
// goes over the line is checked against the engine in TerminalTest.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTest>

#include "../support/QtWait.h"
#include "ViewTest.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

class TerminalDlgTest : public ViewTest {
 protected:
  TerminalDlgTest() : ViewTest(34) {}
};

}  // namespace

TEST_F(TerminalDlgTest, ReplyRecallAndNoSharingOfThePort) {
  frame.action("Terminal")->trigger();
  CTerminalDlg* terminal = frame.terminal();
  ASSERT_TRUE(terminal && terminal->isVisible());
  EXPECT_TRUE(terminal->wakeFirst()->isChecked());
  QLineEdit* input = terminal->input();
  QTest::keyClicks(input, "AT+CSQ");
  QTest::keyClick(input, Qt::Key_Return);
  EXPECT_TRUE(input->text().isEmpty());
  // The form is held off while the exchange has the port.
  ASSERT_TRUE(view->IsBusy());
  EXPECT_FALSE(frame.action("Read All")->isEnabled());
  sim_->ClearReceived();
  view->OnReadAll();
  WAIT_UNTIL(!view->IsBusy(), 60000);
  const auto lines = sim_->ReceivedLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "AT+RVSRI?"), 0);
  const QString shown = terminal->view()->toPlainText();
  EXPECT_TRUE(shown.contains(
      QRegularExpression(R"(^\d\d:\d\d:\d\d\.\d{3} --> AT\+CSQ$)", QRegularExpression::MultilineOption)))
      << shown.toStdString();
  EXPECT_TRUE(shown.contains("<-- +CSQ: 21,0")) << shown.toStdString();
  EXPECT_TRUE(shown.contains("<-- OK")) << shown.toStdString();

  QTest::keyClick(input, Qt::Key_Up);
  EXPECT_EQ(input->text(), "AT+CSQ");
  QTest::keyClick(input, Qt::Key_Down);
  EXPECT_TRUE(input->text().isEmpty());

  // While the form's operation has the port, the line is refused and stays.
  QTest::keyClick(input, Qt::Key_Up);
  view->OnReadAll();
  ASSERT_TRUE(view->IsBusy());
  QTest::keyClick(input, Qt::Key_Return);
  EXPECT_EQ(input->text(), "AT+CSQ");
  EXPECT_TRUE(terminal->view()->toPlainText().endsWith("Not sent: an operation is running on COM34."));
  WAIT_UNTIL(!view->IsBusy(), 120000);
  EXPECT_TRUE(PortIsFree());
}
