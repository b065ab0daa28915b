#include <gtest/gtest.h>
#include <sys/stat.h>

#include "../support/TestSupport.h"
#include "link/TrafficLog.h"

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
