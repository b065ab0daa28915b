#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "../support/TestSupport.h"
#include "../support/VirtualClock.h"
#include "port/ComPort.h"
#include "port/SystemError.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

class ComPortTest : public ::testing::Test {
 protected:
  ComPortTest() : pty(dir.path(), 12) {}
  // The port's waits on the virtual clock: for the tests in which the device
  // is silent or its bytes have arrived before the port waits.
  void UseVirtualClock() { port.SetClock(clock); }
  // A number of 10 or more opens like any other.
  PortSettings Com(int number) const { return {number, 115200, {dir / "no-sysfs", "/dev", dir.path()}}; }

  TempDir dir;
  RawPty pty;
  CComPort port{Com(12)};
  CVirtualClock clock;
};

using Ms = std::chrono::milliseconds;

}  // namespace

TEST_F(ComPortTest, OpensExclusivelyAndClosesIdempotently) {
  ASSERT_TRUE(port.Open()) << port.openFailureReason();
  EXPECT_TRUE(port.isOpen());
  port.SetSettings({12, 57600, port.settings().discovery});
  EXPECT_TRUE(port.Open());  // already open: nothing changes

  CComPort second(Com(12));
  const PortResult refused = second.Open();
  EXPECT_EQ(refused.status, PortCallStatus::SystemError);
  EXPECT_EQ(refused.error, EBUSY);
  EXPECT_NE(second.openFailureReason().find("Another program holds the port"), std::string::npos);
  EXPECT_FALSE(second.isOpen());

  port.Close();
  EXPECT_FALSE(port.isOpen());
  port.Close();
  EXPECT_TRUE(second.Open());
}

// A failed open says why, led by the device it tried, and leaves nothing
// behind that blocks: the same object then opens the port that does work.
TEST_F(ComPortTest, OpenFailuresSayWhyAndLeaveThePortFree) {
  const struct {
    int number;
    int baud;
    int error;
    const char* words;
  } cases[] = {
      // No device stands behind the number: that is the reason, not any failure.
      {77, 115200, ENOENT, "No serial device is known under this COM number"},
      // A speed the line does not take: the device is closed again.
      {12, 9600, EINVAL, ": the line settings were refused"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words);
    port.SetSettings({c.number, c.baud, Com(12).discovery});
    const PortResult opened = port.Open();
    EXPECT_EQ(opened.status, PortCallStatus::SystemError);
    EXPECT_EQ(opened.error, c.error);
    EXPECT_FALSE(port.isOpen());
    EXPECT_NE(port.openFailureReason().find(c.words), std::string::npos) << port.openFailureReason();
    EXPECT_EQ(port.openFailureReason().find(port.devicePath()), 0u) << port.openFailureReason();
    port.SetSettings(Com(12));
    EXPECT_TRUE(port.Open()) << port.openFailureReason();
    EXPECT_TRUE(port.openFailureReason().empty());
    port.Close();
  }
}

TEST_F(ComPortTest, WriteLineSendsTheTextAndOneCarriageReturn) {
  ASSERT_TRUE(port.Open());
  EXPECT_TRUE(port.WriteLine(""));
  EXPECT_EQ(pty.Read(), "\r");
  EXPECT_TRUE(port.WriteLine("AT+RVSRI?"));
  EXPECT_EQ(pty.Read(), "AT+RVSRI?\r");
  EXPECT_TRUE(port.WriteLine(std::string(254, 'a')));
  EXPECT_EQ(pty.Read().size(), 255u);
  EXPECT_EQ(port.WriteLine(std::string(255, 'a')).status, PortCallStatus::LineTooLong);  // refused, not cut
  EXPECT_EQ(pty.Read(300), "");
}

TEST_F(ComPortTest, WriteLineDiscardsWhatArrivedBefore) {
  ASSERT_TRUE(port.Open());
  UseVirtualClock();
  pty.Write("stale reply\r\n");
  ASSERT_TRUE(WaitForInput(port.handle(), 13));
  port.WriteLine("AT");
  pty.Write("fresh\r\n");
  ASSERT_TRUE(WaitForInput(port.handle(), 7));
  std::string reply;
  EXPECT_TRUE(port.ReadReply(reply, 100));
  EXPECT_EQ(reply, "fresh\r\n");
}

TEST_F(ComPortTest, ReadTimesOutAfter600ms) {
  ASSERT_TRUE(port.Open());
  UseVirtualClock();
  std::string reply = "old";
  EXPECT_TRUE(port.ReadReply(reply, 100));
  EXPECT_EQ(reply, "");
  EXPECT_EQ(clock.Elapsed(), Ms(600));
  EXPECT_TRUE(port.ReadReply(reply, 100, {}, Ms(250)));  // or after the deadline given
  EXPECT_EQ(clock.Elapsed(), Ms(850));
}

TEST_F(ComPortTest, TheSteadyClockWaitsOutASilentPortInRealTime) {
  ASSERT_TRUE(port.Open());
  IClock& steady = SteadyClock();
  const auto start = steady.Now();
  EXPECT_EQ(steady.WaitReadable(port.handle(), Ms(50)), 0);
  EXPECT_GE(steady.Now() - start, Ms(50));
  pty.Write("x");
  EXPECT_EQ(steady.WaitReadable(port.handle(), Ms(10000)), 1);  // ends on the byte
}

TEST_F(ComPortTest, ReadEndsAtTheByteCount) {
  ASSERT_TRUE(port.Open());
  pty.Write("0123456789");
  std::string reply;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(port.ReadReply(reply, 4));
  EXPECT_EQ(reply, "0123");
  EXPECT_LT(SecondsSince(start), 0.5);
}

TEST_F(ComPortTest, SendAndWaitForPollsASilentDevice) {
  ASSERT_TRUE(port.Open());
  UseVirtualClock();
  std::string reply;
  CComPort::PollPlan poll;
  poll.maxBytes = 19;
  poll.polls = 3;
  EXPECT_EQ(port.SendAndWaitFor("AT+WCSL=1", reply, poll).status, PortCallStatus::TimedOut);
  EXPECT_EQ(clock.Elapsed(), 3 * (Ms(200) + Ms(CComPort::kReadTimeoutMs)));  // pause, then a whole read
  poll.polls = 0;
  EXPECT_FALSE(port.SendAndWaitFor("AT", reply, poll));
  // Ending on the token, a poll read lasts the pause longer instead.
  poll.polls = 2;
  poll.endOnToken = true;
  EXPECT_FALSE(port.SendAndWaitFor("AT+WCSL=1", reply, poll));
  EXPECT_EQ(clock.Elapsed(), 5 * (Ms(200) + Ms(CComPort::kReadTimeoutMs)));
}

TEST_F(ComPortTest, SendAndWaitForSearchesEachPollOnItsOwn) {
  ASSERT_TRUE(port.Open());
  UseVirtualClock();
  // The device answers "O" in the pause before the first poll and "K" in the
  // one before the second, so no single poll ever holds the token.
  int pauses = 0;
  clock.onPause = [&](Ms) {
    if (pauses < 2) {
      pty.Write(pauses == 0 ? "O" : "K");
      EXPECT_TRUE(WaitForInput(port.handle(), 1));
    }
    ++pauses;
  };
  std::string reply;
  CComPort::PollPlan poll;
  poll.maxBytes = 2;
  poll.polls = 3;
  EXPECT_FALSE(port.SendAndWaitFor("AT", reply, poll));
  EXPECT_EQ(pauses, 3);
  EXPECT_EQ(reply, "OK");  // both parts were read, each in its own poll
}

TEST_F(ComPortTest, ReadUntilQuietStopsPastTheLimit) {
  ASSERT_TRUE(port.Open());
  UseVirtualClock();
  pty.Write(std::string(1500, 'x'));
  ASSERT_TRUE(WaitForInput(port.handle(), 1500));
  std::string text;
  EXPECT_TRUE(port.ReadUntilQuiet(text, 1024));
  EXPECT_GT(text.size(), 1024u);  // past the limit: it stopped there
  EXPECT_LE(text.size(), 1280u);

  port.WriteLine("AT");  // discards the rest of the long reply, as every write does
  pty.Read();
  pty.Write("short reply\r\nOK\r\n");
  ASSERT_TRUE(WaitForInput(port.handle(), 17));
  const Ms before = clock.Elapsed();
  EXPECT_TRUE(port.ReadUntilQuiet(text, 1024));
  EXPECT_EQ(text, "short reply\r\nOK\r\n");
  EXPECT_EQ(clock.Elapsed() - before,
            2 * Ms(CComPort::kReadTimeoutMs));  // the reply's read, then the quiet one
}

TEST_F(ComPortTest, DeviceVanishingMidReadFailsTheRead) {
  ASSERT_TRUE(port.Open());
  std::thread device([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    pty.CloseMaster();
  });
  std::string reply;
  const PortResult read = port.ReadReply(reply, 100);
  device.join();
  EXPECT_EQ(read.status, PortCallStatus::SystemError);
  EXPECT_NE(read.error, 0);
  EXPECT_EQ(read.reason, SystemReason(read.error));
  port.Close();
}

TEST_F(ComPortTest, WriteWithoutPurgeKeepsWhatArrivedAndAReadEndsOnItsEvent) {
  ASSERT_TRUE(port.Open());
  pty.Write("AT+CSCLK=0\r\nOK\r\n");
  std::string reply;
  ASSERT_TRUE(port.ReadReply(reply, 1, nullptr, std::chrono::milliseconds(2000)));  // it has arrived
  EXPECT_TRUE(port.WriteLine("AT+CSCLK=0", false));
  std::string rest;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(port.ReadReply(
      rest, 100, [](const std::string& r) { return r.find("OK") != std::string::npos; },
      std::chrono::seconds(30)));
  EXPECT_EQ(reply + rest, "AT+CSCLK=0\r\nOK\r\n");
  EXPECT_LT(SecondsSince(start), 29.0);  // ended on the token, not the deadline
  EXPECT_EQ(pty.Read(), "AT+CSCLK=0\r");
}

TEST_F(ComPortTest, CloseRestoresTheLineSettingsFoundAtOpen) {
  const std::string device = dir / "com12";
  const int line = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(line, 0);
  termios before{};
  ASSERT_EQ(::tcgetattr(line, &before), 0);
  before.c_lflag |= ICANON | ECHO;  // as a terminal left by another program
  ::cfsetispeed(&before, B9600);
  ::cfsetospeed(&before, B9600);
  ASSERT_EQ(::tcsetattr(line, TCSANOW, &before), 0);
  ASSERT_EQ(::tcgetattr(line, &before), 0);

  ASSERT_TRUE(port.Open());
  termios during{};
  ASSERT_EQ(::tcgetattr(line, &during), 0);
  EXPECT_EQ(::cfgetospeed(&during), B115200);
  EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u);
  port.Close();

  termios after{};
  ASSERT_EQ(::tcgetattr(line, &after), 0);
  ::close(line);
  EXPECT_EQ(::cfgetospeed(&after), B9600);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_oflag, before.c_oflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
}
