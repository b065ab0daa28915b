#include <gtest/gtest.h>

#include "protocol/ReplyRules.h"

using namespace kestrun;

TEST(ReplyRules, ASettingsLineIsAcceptedOnlyByAnOkLineOfItsOwnAfterTheEcho) {
  const std::string line = "AT+RVPIN=5830,0,,0,,,,,20261207101010";
  EXPECT_TRUE(SettingAccepted(line + "\r\r\nOK\r\n", line));
  EXPECT_FALSE(SettingAccepted(line + "\r\nERROR: NOT OK\r\n", line));  // "OK" inside an error
  EXPECT_FALSE(SettingAccepted(line + "\r\nBOOKER\r\n", line));         // "OK" inside a word
  EXPECT_FALSE(SettingAccepted("OK\r\n" + line + "\r\n", line));        // before the echo
  EXPECT_FALSE(SettingAccepted(line + "\r\nOK\r\nERROR\r\n", line));    // an error after all
  EXPECT_FALSE(SettingAccepted("\r\nOK\r\n", line));                    // no echo
  EXPECT_TRUE(SettingReplyComplete(line + "\r\nERROR\r\n", line));      // complete, yet refused
  EXPECT_FALSE(SettingReplyComplete(line + "\r\n", line));              // still waiting
}

TEST(ReplyRules, AQueryReplyIsCompleteAtItsClosingLineAfterTheTag) {
  EXPECT_FALSE(QueryReplyComplete("OK\r\n+RVPIN:0,,0\r\n", "RVPIN:"));  // OK before the tag
  EXPECT_TRUE(QueryReplyComplete("OK\r\n+RVPIN:0,,0\r\n\r\nOK\r\n", "RVPIN:"));
  EXPECT_FALSE(QueryReplyComplete("+RVKPN:1,1,5551234,,BOOKER", "RVKPN:"));
  EXPECT_TRUE(QueryReplyComplete("AT+RVSRI?\r\nERROR\r\n", "RVSRI:"));
  EXPECT_TRUE(ReplyEnded("ATI\r\nRevision:1\r\n\r\nOK"));
  EXPECT_FALSE(ReplyEnded("ATI\r\nRevision:OK1\r\n"));
}

TEST(ReplyRules, EachAnsweredLineOfAWakeUpBurstCountsOnce) {
  const std::string answer = "AT+CSCLK=1\r\r\nOK\r\n";
  EXPECT_EQ(CountClosingLines(answer + answer + answer + answer), 4);
  EXPECT_EQ(CountClosingLines("AT+CSCLK=1\r\nERROR: NOT OK\r\n"), 1);  // one line, not an OK and an ERROR
  const std::string noise = "\xff\xfe\r\nBOOKER\r\n";                  // a waking tracker's noise
  EXPECT_EQ(CountClosingLines(noise), 0);
  EXPECT_EQ(CountClosingLines(answer + "AT+CSCLK=1\r\r\nO"), 1);  // the next answer not yet whole
  EXPECT_EQ(CountClosingLines("OK"), 1);
}
