// How results are shown: quoting, JSON that parses and says what the text
// says, the closing table, and the progress lines.
#include <gtest/gtest.h>

#include <sstream>

#include "../support/TestSupport.h"
#include "CliSupport.h"
#include "cli/CsvField.h"
#include "cli/PortList.h"
#include "cli/Progress.h"
#include "cli/Report.h"
#include "protocol/ControlChars.h"

using namespace kestrun;
using namespace kestrun::cli;
using namespace kestrun::batch;
using namespace kestrun::testing;

namespace {

PortReport Different() {
  PortReport r;
  r.command = Command::Diff;
  r.port = 21;
  r.device = "/dev/pts/7";
  r.outcome = "different";
  r.exitCode = kExitDifferent;
  r.file = "fleet.ini";
  r.firmware = "[Revision:1] [SubEdition:2]";
  r.groupsRead = {"RVSRI", "RVPIN"};
  r.keysCompared = 13;
  r.differences = {{"RVSRI", "APN", "say \"hi\"\\", "tab\there"},
                   {"RVPIN", "PIN", "\xE4\xF6", "caf\xC3\xA9"}};
  r.notes = {"Error, Server Port > 5 Byte"};
  r.seconds = 1.25;
  return r;
}

}  // namespace

TEST(ReportTest, QuotingKeepsEveryByteVisible) {
  EXPECT_EQ(Quoted("plain"), "\"plain\"");
  EXPECT_EQ(Quoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(Quoted(std::string("\r\n\x01", 3)), "\"\\x0D\\x0A\\x01\"");
  EXPECT_EQ(JsonString("caf\xC3\xA9 \"q\"\n"), "\"caf\xC3\xA9 \\\"q\\\"\\u000a\"");
  EXPECT_EQ(JsonString("\xE4\xF6"), "\"\\u00e4\\u00f6\"");  // another code page's bytes, as Latin-1
  EXPECT_EQ(JsonString("\xC3"), "\"\\u00c3\"");             // a cut sequence
  // What a UTF-8 database column refuses is escaped too: an overlong form, a
  // surrogate, a code point past U+10FFFF; four bytes of a real one are kept.
  EXPECT_EQ(JsonString("\xC0\xAF"), "\"\\u00c0\\u00af\"");
  EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"\\u00ed\\u00a0\\u0080\"");
  EXPECT_EQ(JsonString("\xF4\x90\x80\x80"), "\"\\u00f4\\u0090\\u0080\\u0080\"");
  EXPECT_EQ(JsonString("\xF0\x9F\x9A\x9A"), "\"\xF0\x9F\x9A\x9A\"");
}

// The one cell of every CSV: quoted, no live formula, no control byte.
TEST(ReportTest, CsvCellsStayTextInASpreadsheetAndOnATerminal) {
  const std::pair<std::string, std::string> cases[] = {
      {"x=1,y", "\"x=1,y\""},
      {"=HYPERLINK(\"h\").ini", "\"'=HYPERLINK(\"\"h\"\").ini\""},
      {"+cmd", "'+cmd"},
      {"-2+3", "'-2+3"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"\t=1", "'\\x09=1"},
      {"\r=1", "'\\x0D=1"},
      {"-5", "-5"},
      {"12", "12"},
      {"+4917612345", "+4917612345"},
      {"a\x1B[2J\n", "a\\x1B[2J\\x0A"},
      {"plain text", "plain text"}};
  for (const auto& [value, cell] : cases) EXPECT_EQ(CsvField(value), cell) << EscapeControlBytes(value);
}

TEST(ReportTest, JsonParsesAndCarriesWhatTheTextSays) {
  const PortReport r = Different();
  std::ostringstream text, json;
  PrintText(text, r);
  PrintJson(json, r);
  EXPECT_EQ(text.str(),
            "COM21 diff: 2 differences, 13 keys compared\n"
            "COM21 [RVSRI] APN: file \"say \\\"hi\\\"\\\\\" tracker \"tab\\x09here\"\n"
            "COM21 [RVPIN] PIN: file \"\xE4\xF6\" tracker \"caf\xC3\xA9\"\n"
            "COM21 note: Error, Server Port > 5 Byte\n");
  const auto lines = JsonLines(json.str());
  ASSERT_EQ(lines.size(), 1u);
  const Json& j = lines[0];
  EXPECT_EQ(j["port"].number, 21);
  EXPECT_EQ(j["device"].string, "/dev/pts/7");
  EXPECT_EQ(j["command"].string, "diff");
  EXPECT_EQ(j["outcome"].string, "different");
  EXPECT_EQ(j["exitCode"].number, 1);
  EXPECT_EQ(j["keysCompared"].number, 13);
  EXPECT_EQ(j["firmware"].string, r.firmware);
  EXPECT_EQ(j["schema"].number, kJsonSchema);
  ASSERT_EQ(j["differences"].items.size(), 2u);
  EXPECT_EQ(j["differences"].items[0]["file"].string, "say \"hi\"\\");
  EXPECT_EQ(j["differences"].items[0]["tracker"].string, "tab\there");
  EXPECT_EQ(j["differences"].items[1]["tracker"].string, "caf\xC3\xA9");
  EXPECT_EQ(j["differences"].items[1]["file"].string, "\xC3\xA4\xC3\xB6");  // Latin-1 read as such
  EXPECT_EQ(j["notes"].items[0].string, "Error, Server Port > 5 Byte");
  EXPECT_EQ(j["groupsRead"].items.size(), 2u);
  EXPECT_DOUBLE_EQ(j["seconds"].number, 1.25);
}

TEST(ReportTest, FailuresShowTheStepAndTheReason) {
  PortReport r;
  r.command = Command::Verify;
  r.port = 5;
  r.outcome = "tracker-failed";
  r.exitCode = kExitTrackerFailed;
  r.message = "Send AT+RVGEO Fail !";
  r.detail = "No Right Response !";
  std::ostringstream text;
  PrintText(text, r);
  EXPECT_EQ(text.str(), "COM5 verify: tracker failed: Send AT+RVGEO Fail ! (No Right Response !)\n");

  PortReport ok;
  ok.command = Command::Write;
  ok.port = 6;
  ok.device = "/dev/ttyUSB0";
  ok.outcome = "ok";
  ok.groupsSent = {"RVSRI"};
  ok.linesSent = 1;
  ok.seconds = 3.04;
  ok.identity.imei = "490154203237518";
  ok.identity.imeiValid = true;
  std::ostringstream table;
  PrintClosingTable(table, {ok, r});
  EXPECT_EQ(
      table.str(),
      "PORT    DEVICE        IMEI             RESULT            EXIT  TIME\n"
      "COM6    /dev/ttyUSB0  490154203237518  ok                0     3.0 s\n"
      "COM5                  -                tracker failed    4     0.0 s    Send AT+RVGEO Fail ! (No "
      "Right Response !)\n");
  std::ostringstream line;
  PrintText(line, ok);
  EXPECT_EQ(line.str(), "COM6 write: ok, 1 group, 1 line sent\n");
}

TEST(ReportTest, QuietShowsOnlyResultsAndFailures) {
  PortReport ok;
  ok.command = Command::Write;
  ok.port = 6;
  ok.outcome = "ok";
  PortReport failed = ok;
  failed.outcome = "port-not-opened";
  failed.exitCode = kExitPortFailed;
  const struct {
    PortReport report;
    std::string text;
  } rows[] = {
      {ok, ""},
      {Different(),
       "COM21 [RVSRI] APN: file \"say \\\"hi\\\"\\\\\" tracker \"tab\\x09here\"\n"
       "COM21 [RVPIN] PIN: file \"\xE4\xF6\" tracker \"caf\xC3\xA9\"\n"},
      {failed, "COM6 write: port not opened\n"},
  };
  for (const auto& row : rows) {
    std::ostringstream text;
    PrintText(text, row.report, true);
    EXPECT_EQ(text.str(), row.text) << row.report.outcome;
  }
}

// Every member a report writes, nested ones too, is explained in the man page;
// a port without a COM number is null there.
TEST(ReportTest, ManPageExplainsEveryJsonMember) {
  PortReport r = Different();
  r.port = 0;
  r.capped = {"[RVSRI] APN: cut"};
  r.wouldSend = {"AT+RVSRI=****,<UTC>"};
  r.logError = "disk full";
  std::ostringstream json;
  PrintJson(json, r);
  PrintJsonError(json, "bad", kExitUsage);
  PrintPortsJson(json, {PortStatus{5, "/dev/ttyS4", "/dev/ttyS4", "", false, 13, "denied", ""}});
  const auto objects = JsonLines(json.str());
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(objects[2]["schema"].number, kJsonSchema);
  EXPECT_EQ(objects[0]["port"].type, Json::Type::Null);
  EXPECT_EQ(objects[1]["schema"].number, kJsonSchema);
  std::vector<std::string> members;
  for (const Json& object : objects)
    for (const auto& [name, value] : object.members) {
      members.push_back("." + name);  // listed as ".name" at the start of its own line
      for (const Json& item : value.items)
        for (const auto& nested : item.members) members.push_back("." + nested.first);
    }
  const std::string page = ReadFile(KESTRUN_SOURCE_DIR "/data/man/rv450-cli.1");
  for (const std::string& member : members)
    EXPECT_NE(page.find("\n.TP\n.B " + member.substr(1) + "\n"), std::string::npos) << member;
}

TEST(ProgressTest, CursorControlOnlyOnATerminalThatTakesIt) {
  using S = CProgress::Style;
  const struct {
    bool quiet, terminal;
    const char* term;
    S style;
  } rows[] = {{false, true, "xterm-256color", S::Live}, {false, true, "dumb", S::Plain},
              {false, true, nullptr, S::Plain},         {false, true, "", S::Plain},
              {false, false, "xterm", S::Plain},        {true, true, "xterm", S::Quiet}};
  for (const auto& row : rows)
    EXPECT_EQ(CProgress::ChooseStyle(row.quiet, row.terminal, row.term), row.style)
        << row.terminal << " " << (row.term ? row.term : "(unset)");
}

TEST(ProgressTest, PlainLinesOnAPipeAndOneRedrawnLinePerPortOnATerminal) {
  std::ostringstream plain;
  CProgress p(plain, CProgress::Style::Plain, {"COM1", "COM2"});
  p.Update(0, "read 1/8  Reading AT+RVSRI ......");
  p.Update(0, "read 1/8  Reading AT+RVSRI ......");  // no change, no line
  p.Update(1, "write 2/3  Sending AT+RVBEI ......");
  p.Update(7, "no such row");
  EXPECT_EQ(plain.str(),
            "COM1: read 1/8  Reading AT+RVSRI ......\nCOM2: write 2/3  Sending AT+RVBEI ......\n");

  std::ostringstream live;
  CProgress l(live, CProgress::Style::Live, {"COM1", "COM2"}, 24);
  l.Update(0, "read 1/8  Reading AT+RVSRI ......");
  l.Update(1, "done");
  EXPECT_EQ(live.str(),
            "\r\x1b[2KCOM1  read 1/8  Reading\n\r\x1b[2KCOM2  starting\n"
            "\x1b[2A\r\x1b[2KCOM1  read 1/8  Reading\n\r\x1b[2KCOM2  done\n");

  std::ostringstream quiet;
  CProgress q(quiet, CProgress::Style::Quiet, {"COM1"});
  q.Update(0, "anything");
  EXPECT_EQ(quiet.str(), "");
}
