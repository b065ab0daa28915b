// The traffic log's lines and its lock against other instances (also run
// under Wine); the modes, links and full disks are in TrafficLogModesTest.cpp.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "../support/TestFiles.h"
#include "engine/TrafficLog.h"
#include "port/Platform.h"

using namespace kestrun;
using namespace kestrun::testing;

TEST(TrafficLog, LineFormatHasNoLeadingZerosAndCrLf) {
  std::tm t{};
  t.tm_year = 111;
  t.tm_mon = 2;
  t.tm_mday = 3;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  EXPECT_EQ(FormatLogLine(t, Direction::Sent, "AT+CSCLK=0"), "2011-3-3; 9:5:7 --> AT+CSCLK=0\r\n");
  EXPECT_EQ(FormatLogLine(t, Direction::Received, "AT\r\r\nOK\r\n"),
            "2011-3-3; 9:5:7 <-- AT\r\r\r\nOK\r\r\n\r\n");
}

TEST(TrafficLog, AppendsOneLinePerTextAndLosesLinesSilently) {
  TempDir dir;
  CTrafficLog log(dir.path());
  log.Log("one", Direction::Sent);
  log.Log("", Direction::Received);
  const std::string text = ReadFile(dir / "AtLog.log");
  EXPECT_NE(text.find(" --> one\r\n"), std::string::npos);
  EXPECT_NE(text.find(" <-- \r\n"), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);

  CTrafficLog nowhere(dir / "missing/dir");
  nowhere.Log("lost", Direction::Sent);  // must not throw or create anything
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

namespace {

// Another instance of the tool: it opens the log and takes the lock on its own
// open file, as CTrafficLog does.
class OtherInstance {
 public:
  explicit OtherInstance(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | kOpenBinary, 0644)) {}
  ~OtherInstance() { ::close(fd_); }
  bool Lock() { return ::flock(fd_, LOCK_EX) == 0; }
  void Unlock() { ::flock(fd_, LOCK_UN); }
  void Append(const std::string& line) {
    EXPECT_EQ(::write(fd_, line.data(), line.size()), ssize_t(line.size()));
  }

 private:
  int fd_;
};

int CountLines(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

}  // namespace

TEST(TrafficLog, WaitsForTheLockThatAnotherInstanceHolds) {
  TempDir dir;
  CTrafficLog log(dir.path());
  OtherInstance other(log.Path());
  ASSERT_TRUE(other.Lock());
  std::thread writer([&] { log.Log("after the wait", Direction::Sent); });
  // The other instance is slow with its line; the writer must wait, not drop.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  other.Append("2011-3-3; 9:5:7 <-- other\r\n");
  other.Unlock();
  writer.join();
  const std::string text = ReadFile(log.Path());
  EXPECT_EQ(CountLines(text, " --> after the wait\r\n"), 1) << text;
  EXPECT_EQ(text.rfind("2011-3-3; 9:5:7 <-- other\r\n", 0), 0u) << text;  // the holder's line first
}

TEST(TrafficLog, TwoInstancesAndABusyThirdKeepEveryLine) {
  TempDir dir;
  CTrafficLog first(dir.path()), second(dir.path());
  std::atomic<bool> done{false};
  int busyLines = 0;
  // A third instance that holds the lock most of the time.
  std::thread busy([&] {
    OtherInstance other(first.Path());
    while (!done) {
      if (!other.Lock()) break;
      other.Append("2011-3-3; 9:5:7 <-- busy\r\n");
      ++busyLines;
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
      other.Unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  constexpr int kLines = 15;
  std::thread a([&] {
    for (int i = 0; i < kLines; ++i) first.Log("first " + std::to_string(i), Direction::Sent);
  });
  std::thread b([&] {
    for (int i = 0; i < kLines; ++i) second.Log("second " + std::to_string(i), Direction::Received);
  });
  a.join();
  b.join();
  done = true;
  busy.join();
  const std::string text = ReadFile(first.Path());
  for (int i = 0; i < kLines; ++i) {
    EXPECT_EQ(CountLines(text, " --> first " + std::to_string(i) + "\r\n"), 1) << i;
    EXPECT_EQ(CountLines(text, " <-- second " + std::to_string(i) + "\r\n"), 1) << i;
  }
  EXPECT_EQ(CountLines(text, " <-- busy\r\n"), busyLines);
  // Every line whole: as many line ends as lines.
  EXPECT_EQ(CountLines(text, "\r\n"), 2 * kLines + busyLines);
}
