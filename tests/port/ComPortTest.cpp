#include <gtest/gtest.h>

#include <thread>

#include "../support/TestSupport.h"
#include "../support/VirtualClock.h"
#include "port/ComPort.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

class ComPortTest : public ::testing::Test {
 protected:
  ComPortTest() : pty(dir.path(), 12) {
    port.discovery.portsDir = dir.path();
    port.discovery.sysfsTty = dir / "no-sysfs";
    port.portNumber = 12;  // a number of 10 or more opens like any other
  }
  // The port's waits on the virtual clock: for the tests in which the device
  // is silent or its bytes have arrived before the port waits.
  void UseVirtualClock() { port.clock = &clock; }

  TempDir dir;
  RawPty pty;
  CComPort port;
  CVirtualClock clock;
};

using Ms = std::chrono::milliseconds;

}  // namespace

TEST_F(ComPortTest, OpensExclusivelyAndClosesIdempotently) {
  ASSERT_TRUE(port.Open()) << port.lastError << " " << port.openFailureReason();
  EXPECT_TRUE(port.isOpen);
  port.baudRate = 57600;
  EXPECT_TRUE(port.Open());  // already open: nothing changes

  CComPort second;
  second.discovery = port.discovery;
  second.portNumber = 12;
  EXPECT_FALSE(second.Open());
  EXPECT_EQ(second.lastError, "Open Comm Fail!");
  EXPECT_NE(second.openFailureReason().find("Another program holds the port"), std::string::npos);
  EXPECT_FALSE(second.isOpen);

  port.Close();
  EXPECT_FALSE(port.isOpen);
  port.Close();
  EXPECT_TRUE(second.Open());
}

TEST_F(ComPortTest, UnknownPortFailsWithAReason) {
  port.portNumber = 77;
  EXPECT_FALSE(port.Open());
  EXPECT_FALSE(port.isOpen);
  EXPECT_EQ(port.lastError, "Open Comm Fail!");
  // The reason is that no device stands behind the number, not any failure.
  EXPECT_NE(port.openFailureReason().find("No serial device is known under this COM number"),
            std::string::npos)
      << port.openFailureReason();
  // The same object opens the number that does have a device: the failure
  // came from the unknown number, and it left nothing behind that blocks.
  port.portNumber = 12;
  EXPECT_TRUE(port.Open()) << port.openFailureReason();
  EXPECT_TRUE(port.openFailureReason().empty());
}

TEST_F(ComPortTest, WriteLineSendsTheTextAndOneCarriageReturn) {
  ASSERT_TRUE(port.Open());
  EXPECT_TRUE(port.WriteLine(""));
  EXPECT_EQ(pty.Read(), "\r");
  EXPECT_TRUE(port.WriteLine("AT+RVSRI?"));
  EXPECT_EQ(pty.Read(), "AT+RVSRI?\r");
  EXPECT_TRUE(port.WriteLine(std::string(254, 'a')));
  EXPECT_EQ(pty.Read().size(), 255u);
  EXPECT_FALSE(port.WriteLine(std::string(255, 'a')));  // refused, not cut
  EXPECT_EQ(pty.Read(300), "");
}

TEST_F(ComPortTest, WriteLineDiscardsWhatArrivedBefore) {
  ASSERT_TRUE(port.Open());
  UseVirtualClock();
  pty.Write("stale reply\r\n");
  ASSERT_TRUE(WaitForInput(port.handle, 13));
  port.WriteLine("AT");
  pty.Write("fresh\r\n");
  ASSERT_TRUE(WaitForInput(port.handle, 7));
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
  EXPECT_EQ(steady.WaitReadable(port.handle, Ms(50)), 0);
  EXPECT_GE(steady.Now() - start, Ms(50));
  pty.Write("x");
  EXPECT_EQ(steady.WaitReadable(port.handle, Ms(10000)), 1);  // ends on the byte
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
  EXPECT_FALSE(port.SendAndWaitFor("AT+WCSL=1", "OK", reply, 19, 3));
  EXPECT_EQ(clock.Elapsed(), 3 * (Ms(200) + Ms(CComPort::kReadTimeoutMs)));  // pause, then a whole read
  EXPECT_FALSE(port.SendAndWaitFor("AT", "OK", reply, 19, 0));
  // Ending on the token, a poll read lasts the pause longer instead.
  EXPECT_FALSE(port.SendAndWaitFor("AT+WCSL=1", "OK", reply, 19, 2, Ms(200), true));
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
      EXPECT_TRUE(WaitForInput(port.handle, 1));
    }
    ++pauses;
  };
  std::string reply;
  EXPECT_FALSE(port.SendAndWaitFor("AT", "OK", reply, 2, 3));
  EXPECT_EQ(pauses, 3);
  EXPECT_EQ(reply, "OK");  // both parts were read, each in its own poll
}

TEST_F(ComPortTest, ReadUntilQuietStopsPastTheLimit) {
  ASSERT_TRUE(port.Open());
  UseVirtualClock();
  pty.Write(std::string(1500, 'x'));
  ASSERT_TRUE(WaitForInput(port.handle, 1500));
  std::string text;
  int total = 0;
  EXPECT_TRUE(port.ReadUntilQuiet(text, total, 1024));
  EXPECT_GT(total, 1024);
  EXPECT_LE(total, 1280);
  EXPECT_EQ(static_cast<int>(text.size()), total);

  port.WriteLine("AT");  // discards the rest of the long reply, as every write does
  pty.Read();
  pty.Write("short reply\r\nOK\r\n");
  ASSERT_TRUE(WaitForInput(port.handle, 17));
  const Ms before = clock.Elapsed();
  EXPECT_FALSE(port.ReadUntilQuiet(text, total, 1024));
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
  EXPECT_FALSE(port.ReadReply(reply, 100));
  device.join();
  EXPECT_EQ(port.lastError.rfind("ReadFile Error=", 0), 0u) << port.lastError;
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
