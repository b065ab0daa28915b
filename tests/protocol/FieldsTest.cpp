#include <gtest/gtest.h>

#include "protocol/ControlChars.h"
#include "protocol/Fields.h"
#include "protocol/UtcStamp.h"
#include "protocol/Validation.h"

using namespace kestrun;

namespace {

std::vector<std::string> Split(const std::string& body, int capacity, int& count) {
  std::vector<std::string> slots(capacity);
  SplitFields(body, slots.data(), capacity, count);
  slots.resize(std::min(count, capacity));
  return slots;
}

struct RecordingSink : IResultSink {
  std::vector<std::string> messages;
  void ShowResult(const std::string& caption, const std::string& message, ResultIcon icon, bool autoClose,
                  int) override {
    EXPECT_EQ(caption, "RV450 Kestrun");
    EXPECT_EQ(icon, kIconFailure);
    EXPECT_FALSE(autoClose);
    messages.push_back(message);
  }
};

}  // namespace

TEST(SplitFields, CountsEmptyFieldsAndStopsAtLineEnd) {
  int count = -1;
  EXPECT_EQ(Split("a,,b", 8, count), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(Split("a,b,", 8, count), (std::vector<std::string>{"a", "b", ""}));
  EXPECT_EQ(Split(",a", 8, count), (std::vector<std::string>{"", "a"}));
  EXPECT_EQ(Split("a\nb,c", 8, count), (std::vector<std::string>{"a"}));
  EXPECT_EQ(Split(" a b ", 8, count), (std::vector<std::string>{" a b "}));
  Split("", 8, count);
  EXPECT_EQ(count, 0);
  Split("\r\nOK", 8, count);
  EXPECT_EQ(count, 0);
}

TEST(SplitFields, NeverWritesPastTheSlotsOrTheFieldBuffer) {
  int count = 0;
  const auto slots = Split("1,2,3,4,5,6", 4, count);
  EXPECT_EQ(count, 6);  // counted, so it can never match a smaller expected count
  EXPECT_EQ(slots.size(), 4u);
  Split(std::string(100, 'x') + ",y", 4, count);
  std::vector<std::string> two(2);
  SplitFields(std::string(100, 'x') + ",y", two.data(), 2, count);
  EXPECT_EQ(two[0].size(), kMaxField);
  EXPECT_EQ(two[1], "y");
}

TEST(ParseDottedAddress, AcceptsExactlyFourParts) {
  Octets o{};
  EXPECT_TRUE(ParseDottedAddress("10.0.0.1", o));
  EXPECT_EQ(o, (Octets{10, 0, 0, 1}));
  EXPECT_TRUE(ParseDottedAddress(".1.2.3", o));
  EXPECT_EQ(o, (Octets{0, 1, 2, 3}));
  EXPECT_TRUE(ParseDottedAddress("1.2.3.4.", o));
  EXPECT_EQ(o, (Octets{1, 2, 3, 4}));
  EXPECT_TRUE(ParseDottedAddress("300.1.1.1", o));
  EXPECT_EQ(o[0], 300);
  for (const char* bad : {"1.2.3", "1.2.3.4.5", "1.2.3.x", "", "1.2.3."})
    EXPECT_FALSE(ParseDottedAddress(bad, o)) << bad;
  EXPECT_FALSE(ParseDottedAddress(std::string(200, '9'), o));
}

TEST(ReadNumber, FollowsTheTrackersRule) {
  EXPECT_EQ(ReadNumber(" 7x"), 7);
  EXPECT_EQ(ReadNumber("abc"), 0);
  EXPECT_EQ(ReadNumber("-12"), -12);
  EXPECT_EQ(ReadNumber("+3"), 3);
  EXPECT_EQ(ReadNumber("99999999999999"), 2147483647);
  EXPECT_DOUBLE_EQ(ReadDecimal("  12.5e1x"), 125.0);
  EXPECT_DOUBLE_EQ(ReadDecimal("x1"), 0.0);
}

TEST(ExtractReplyBody, ClosingOkMustStartALine) {
  std::string body;
  ASSERT_TRUE(ExtractReplyBody("AT+RVPIN?\r\r\n+RVPIN:1,,0\r\nOK\r\n", "RVPIN:", body));
  EXPECT_EQ(body, "1,,0\r\n");
  // An OK inside a value does not cut the body.
  ASSERT_TRUE(ExtractReplyBody("+RVKPN:0,COOK,BOOKER\r\nOK\r\n", "RVKPN:", body));
  EXPECT_EQ(body, "0,COOK,BOOKER\r\n");
  // An OK line before the tag rejects the reply even with another OK after it.
  EXPECT_FALSE(ExtractReplyBody("OK\r\n+RVPIN:1,,0\r\nOK\r\n", "RVPIN:", body));
  EXPECT_FALSE(ExtractReplyBody("+RVPIN:1,,0\r\n", "RVPIN:", body));
  EXPECT_FALSE(ExtractReplyBody("1,,0\r\nOK\r\n", "RVPIN:", body));
  ASSERT_TRUE(ExtractReplyBody("RVPIN:" + std::string(600, 'a') + "\nOK", "RVPIN:", body));
  EXPECT_EQ(body.size(), kMaxBody);
}

TEST(UtcStamp, UsesUtcAndTruncatesMilliseconds) {
  using namespace std::chrono;
  // 2011-12-31 23:59:59.900 UTC
  const auto when = system_clock::time_point(seconds(1325375999)) + milliseconds(900);
  EXPECT_EQ(FormatUtcStamp(when), "20111231235959");
  SetStampClock([] { return system_clock::time_point(seconds(1299402307)); });  // 2011-03-06 09:05:07
  EXPECT_EQ(UtcStamp(), "20110306090507");
  SetStampClock(nullptr);
  EXPECT_EQ(UtcStamp().size(), 14u);
}

TEST(CheckRange, ReplacesWithTheBoundTextAndReports) {
  RecordingSink sink;
  std::string value = "2360";
  EXPECT_FALSE(CheckRange("Begin Time", "0000", "2359", value, sink));
  EXPECT_EQ(value, "2359");
  EXPECT_EQ(sink.messages.back(), "Error, Begin Time Should be 0000 ~ 2359 !");
  value = "-5";
  EXPECT_FALSE(CheckRange("Send Interval", "0", "1440", value, sink));
  EXPECT_EQ(value, "0");
  for (const char* ok : {"", "2359", "0000", "1299"}) {
    value = ok;
    EXPECT_TRUE(CheckRange("Begin Time", "0000", "2359", value, sink));
    EXPECT_EQ(value, ok);
  }
  EXPECT_EQ(sink.messages.size(), 2u);
}

TEST(ApplyCap, ExactLimitPassesOneMoreIsCut) {
  RecordingSink sink;
  std::string value(40, 'a');
  ApplyCap(value, 40, "Error, APN > 40 Byte", sink);
  EXPECT_TRUE(sink.messages.empty());
  value += 'b';
  ApplyCap(value, 40, "Error, APN > 40 Byte", sink);
  EXPECT_EQ(value, std::string(40, 'a'));
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0], "Error, APN > 40 Byte");
}

namespace {

std::string Repeat(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

const std::string kEuro = "\xE2\x82\xAC";       // 3 bytes
const std::string kSmile = "\xF0\x9F\x98\x80";  // 4 bytes
const std::string kUmlaut = "\xC3\xB6";         // 2 bytes

}  // namespace

TEST(ApplyCap, CutsOnlyAtACharacterBoundary) {
  RecordingSink sink;
  std::string value = Repeat(kEuro, 7);  // 21 bytes
  ApplyCap(value, 20, "Error, User Name > 20 Byte", sink);
  EXPECT_EQ(value, Repeat(kEuro, 6));
  EXPECT_EQ(sink.messages, std::vector<std::string>{"Error, User Name > 20 Byte"});
  // A limit that falls on a boundary cuts there.
  value = "ab" + Repeat(kEuro, 7);  // 23 bytes, a character ends at byte 20
  ApplyCap(value, 20, "m", sink);
  EXPECT_EQ(value, "ab" + Repeat(kEuro, 6));
  value = "a" + kSmile + kSmile;  // 9 bytes, limit inside the second character
  ApplyCap(value, 7, "m", sink);
  EXPECT_EQ(value, "a" + kSmile);
  value = kUmlaut + kUmlaut + "x";  // limit right after a whole character
  ApplyCap(value, 4, "m", sink);
  EXPECT_EQ(value, kUmlaut + kUmlaut);
}

TEST(ApplyCap, BytesThatAreNotUtf8AreCutAtTheLimit) {
  RecordingSink sink;
  std::string latin1(25, '\xF6');  // a Latin-1 name: every byte a character of its own
  ApplyCap(latin1, 20, "m", sink);
  EXPECT_EQ(latin1, std::string(20, '\xF6'));
  // A continuation byte after an ASCII letter is no character: cut at the limit.
  std::string stray = "abc\x82\x82\x82";
  ApplyCap(stray, 4, "m", sink);
  EXPECT_EQ(stray, "abc\x82");
  // An overlong form or a surrogate is no character either.
  std::string overlong = "ab\xE0\x80\xAF";
  ApplyCap(overlong, 3, "m", sink);
  EXPECT_EQ(overlong, "ab\xE0");
  std::string surrogate = "a\xED\xA0\x80";
  ApplyCap(surrogate, 2, "m", sink);
  EXPECT_EQ(surrogate, "a\xED");
}

TEST(Utf8CutPoint, FindsTheLastWholeCharacter) {
  const std::string mixed = "a" + kUmlaut + kEuro + kSmile;  // 1 + 2 + 3 + 4 bytes
  const std::size_t expected[] = {0, 1, 1, 3, 3, 3, 6, 6, 6, 6, 10};
  for (std::size_t limit = 0; limit <= mixed.size(); ++limit)
    EXPECT_EQ(Utf8CutPoint(mixed, limit), expected[limit]) << limit;
  EXPECT_EQ(Utf8CutPoint(mixed, 99), mixed.size());
  // A character cut short in the text itself is not whole: the limit decides.
  EXPECT_EQ(Utf8CutPoint("ab\xE2\x82", 3), 3u);
}

TEST(EscapeControlBytes, ShowsControlBytesAsHexAndKeepsTheRest) {
  const struct {
    std::string text, shown;
  } cases[] = {
      {"", ""},
      {"plain text, 1.ini", "plain text, 1.ini"},
      {"x\x1b[31mRED\a.ini", "x\\x1B[31mRED\\x07.ini"},
      {std::string("a\0b\r\n\t\x7f", 7), "a\\x00b\\x0D\\x0A\\x09\\x7F"},
      {"back\\slash stays", "back\\slash stays"},
      {"M\xC3\xBCller \xE2\x82\xAC", "M\xC3\xBCller \xE2\x82\xAC"},  // UTF-8 stays readable
      {"\xFF\x80", "\xFF\x80"},                                      // and so does any other high byte
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeControlBytes(c.text), c.shown) << c.shown;
}

TEST(EscapeControlBytes, ALongTextIsShownByItsHeadAndSize) {
  const std::string accents = "a" + [] {
    std::string s;
    for (int i = 0; i < 50; ++i) s += "\xC3\xA9";
    return s;
  }();
  const struct {
    std::string text, shown, quoted;
  } cases[] = {
      {std::string(64, 'x'), std::string(64, 'x'), "'" + std::string(64, 'x') + "'"},
      {"\x1b" + std::string(64, 'x'), "\\x1B" + std::string(39, 'x') + "... (65 bytes)",
       "'\\x1B" + std::string(39, 'x') + "...' (65 bytes)"},
      // Byte 40 is inside an "é": the head ends before it.
      {accents, accents.substr(0, 39) + "... (101 bytes)", "'" + accents.substr(0, 39) + "...' (101 bytes)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShownText(c.text), c.shown);
    EXPECT_EQ(QuotedValue(c.text), c.quoted);
  }
}
