#include <gtest/gtest.h>

#include <thread>

#include "../support/TestSupport.h"
#include "link/ComPort.h"

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
  TempDir dir;
  RawPty pty;
  CComPort port;
};

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
  pty.Write("stale reply\r\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  port.WriteLine("AT");
  pty.Write("fresh\r\n");
  std::string reply;
  EXPECT_TRUE(port.ReadReply(reply, 100));
  EXPECT_EQ(reply, "fresh\r\n");
}

TEST_F(ComPortTest, ReadTimesOutAfterAbout600ms) {
  ASSERT_TRUE(port.Open());
  std::string reply = "old";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(port.ReadReply(reply, 100));
  const double seconds = SecondsSince(start);
  EXPECT_EQ(reply, "");
  EXPECT_GE(seconds, 0.55);
  EXPECT_LT(seconds, 3.0);
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
  std::string reply;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port.SendAndWaitFor("AT+WCSL=1", "OK", reply, 19, 3));
  const double seconds = SecondsSince(start);
  EXPECT_GE(seconds, 2.2);
  EXPECT_LT(seconds, 8.0);
  EXPECT_FALSE(port.SendAndWaitFor("AT", "OK", reply, 19, 0));
}

TEST_F(ComPortTest, SendAndWaitForSearchesEachPollOnItsOwn) {
  ASSERT_TRUE(port.Open());
  // Polls read at about 200-800, 1000-1600 and 1800-2400 ms: "O" lands in the
  // first, "K" in the second, so no single poll ever holds the token.
  std::thread device([&] {
    pty.Read();
    pty.Write("O");
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    pty.Write("K");
  });
  std::string reply;
  EXPECT_FALSE(port.SendAndWaitFor("AT", "OK", reply, 2, 3));
  device.join();
}

TEST_F(ComPortTest, ReadUntilQuietStopsPastTheLimit) {
  ASSERT_TRUE(port.Open());
  pty.Write(std::string(1500, 'x'));
  std::string text;
  int total = 0;
  EXPECT_TRUE(port.ReadUntilQuiet(text, total, 1024));
  EXPECT_GT(total, 1024);
  EXPECT_LE(total, 1280);
  EXPECT_EQ(static_cast<int>(text.size()), total);

  port.WriteLine("AT");  // discards the rest of the long reply, as every write does
  pty.Read();
  pty.Write("short reply\r\nOK\r\n");
  EXPECT_FALSE(port.ReadUntilQuiet(text, total, 1024));
  EXPECT_EQ(text, "short reply\r\nOK\r\n");
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
