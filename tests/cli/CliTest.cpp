// rv450-cli end to end, in-process, against simulated trackers on
// pseudo-terminals: read, write, diff and verify on one and on several ports,
// the failures, every kind of bad input, Ctrl+C, and the ports list.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "../support/SimSupport.h"
#include "../support/TestSupport.h"
#include "CliFixture.h"
#include "CliSupport.h"
#include "cli/Cli.h"
#include "cli/Report.h"
#include "engine/Hints.h"
#include "journal/Journal.h"
#include "port/ComPort.h"
#include "protocol/ControlChars.h"
#include "settings/SafeFile.h"

using namespace kestrun;
using namespace kestrun::cli;
using namespace kestrun::batch;
using namespace kestrun::testing;
using namespace ctl;
using namespace std::string_literals;

namespace {

struct Diff {
  int port;
  std::string section, key, file, tracker;
  bool operator==(const Diff& o) const {
    return std::tie(port, section, key, file, tracker) ==
           std::tie(o.port, o.section, o.key, o.file, o.tracker);
  }
};

// The differences the text output lists (values without escapes in these tests).
std::vector<Diff> TextDifferences(const std::string& out) {
  static const std::regex line(R"re(COM(\d+) \[(\w+)\] (\w+): file "([^"]*)" tracker "([^"]*)")re");
  std::vector<Diff> found;
  for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator(); ++it)
    found.push_back({std::stoi((*it)[1]), (*it)[2], (*it)[3], (*it)[4], (*it)[5]});
  return found;
}

std::vector<Diff> JsonDifferences(const std::vector<Json>& objects) {
  std::vector<Diff> found;
  for (const Json& o : objects)
    for (const Json& d : o["differences"].items)
      found.push_back({static_cast<int>(o["port"].number), d["section"].string, d["key"].string,
                       d["file"].string, d["tracker"].string});
  return found;
}

class CliTest : public CCliFixture {
 protected:
  void SetUp() override { env.journalPath = dir / "data/rv450-kestrun/journal.sqlite"; }
  sim::CTrackerSim& AddSimulator(int number) {
    sims.push_back(StartSimulator(dir / "ports", number));
    return *sims.back();
  }
  // Runs it with fast pacing, as every test that is not about timing does.
  Result Run(std::vector<std::string> args) {
    args.insert(args.end(), {"--pacing", "fast"});
    return RunRaw(args);
  }
  std::string WriteValues(const std::string& name, const CFormValues& values) {
    WriteConfig(dir / name, values);
    return dir / name;
  }
  // The settings lines a simulator received ("AT+RVxxx=..."), in order.
  static std::vector<std::string> SettingsLines(sim::CTrackerSim& sim) {
    std::vector<std::string> lines;
    for (const std::string& line : sim.ReceivedLines())
      if (line.rfind("AT+RV", 0) == 0 && line.size() > 8 && line[8] == '=')
        lines.push_back(line.substr(0, 9));
    return lines;
  }

  std::vector<std::unique_ptr<sim::CTrackerSim>> sims;
};

}  // namespace

// ---- Read, diff, write, verify on one port ---------------------------------

TEST_F(CliTest, ReadWritesTheFileAsSaveDoesAndDiffThenFindsNothing) {
  AddSimulator(21);
  const Result read = Run({"read", "-o", dir / "tracker.ini", "--port", "21"});
  ASSERT_EQ(read.code, 0) << read.err;
  EXPECT_EQ(read.out, "COM21 read: ok, 8 groups into " + (dir / "tracker.ini") + "\n");
  EXPECT_NE(read.err.find("COM21: read 8/8  Reading AT+RVPIN ......"), std::string::npos) << read.err;

  // The same bytes as Save Config File writes for these values into a new file.
  CFormValues loaded;
  ReadConfigFile(CIniFile(dir / "tracker.ini"), loaded);
  const std::string version = CIniFile(dir / "tracker.ini").GetString("INFO", "VER", "?");
  EXPECT_EQ(loaded.Text(Apn), "internet");
  WriteConfig(dir / "saved.ini", loaded, version);
  EXPECT_EQ(ReadFile(dir / "tracker.ini"), ReadFile(dir / "saved.ini"));

  const Result diff = Run({"diff", dir / "tracker.ini", "--port", "21"});
  EXPECT_EQ(diff.code, 0) << diff.err;
  EXPECT_EQ(diff.out, "COM21 diff: equal, " + kAllKeysCompared + "\n");
  EXPECT_TRUE(SettingsLines(*sims[0]).empty());  // reading sends no settings
}

TEST_F(CliTest, ReadWithTheSpecifiedPacingKeepsTheFirmwareVersion) {
  AddSimulator(21);
  const Result read =
      RunRaw({"read", "-o", dir / "tracker.ini", "--port", "21", "--json", "--pacing", "specified"});
  ASSERT_EQ(read.code, 0) << read.err;
  const std::string version = "[Revision:1418B05SIM900M32] [SubEdition:KESTRUN_SIM_2.25]";
  EXPECT_EQ(CIniFile(dir / "tracker.ini").GetString("INFO", "VER", ""), version);
  ASSERT_EQ(JsonLines(read.out).size(), 1u);
  EXPECT_EQ(JsonLines(read.out)[0]["firmware"].string, version);
  EXPECT_EQ(JsonLines(read.out)[0]["groupsRead"].items.size(), 8u);
}

TEST_F(CliTest, AReplyValueWithControlBytesIsReadCleanWithANoteAndTheFileWritesAgain) {
  sim::CTrackerSim& sim = AddSimulator(21);
  sim.WithState([](sim::CTrackerState& s) {
    s.ApplySetting("AT+RVSRI=5830,0,0,inter\0net,u,p,1.2.3.4,80,+49,20110101000000"s);
  });
  const Result read = Run({"read", "-o", dir / "tracker.ini", "--port", "21", "--json"});
  ASSERT_EQ(read.code, 0) << read.err;
  const auto objects = JsonLines(read.out);
  ASSERT_EQ(objects.size(), 1u);
  ASSERT_EQ(objects[0]["notes"].items.size(), 1u);
  EXPECT_NE(objects[0]["notes"].items[0].string.find("[RVSRI] APN"), std::string::npos);
  EXPECT_EQ(CIniFile(dir / "tracker.ini").GetString("RVSRI", "APN", ""), "internet");
  EXPECT_EQ(Run({"write", dir / "tracker.ini", "--port", "21"}).code, 0);
}

TEST_F(CliTest, ReadOverAnOldFileKeepsItsLineEndsAndForeignSections) {
  AddSimulator(21);
  WriteFile(dir / "old.ini", "[Notes]\r\nwho=installer\r\n[RVSRI]\r\nAPN=old\r\n");
  ASSERT_EQ(Run({"read", "-o", dir / "old.ini", "--port", "21"}).code, 0);
  const std::string text = ReadFile(dir / "old.ini");
  EXPECT_EQ(text.rfind("[Notes]\r\nwho=installer\r\n[RVSRI]\r\nAPN=internet\r\nRepMode=2\r\n", 0), 0u)
      << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::count(text.begin(), text.end(), '\r'));
}

TEST_F(CliTest, AnEditedFileGivesExactlyTheChangedKeysAndStatus1) {
  AddSimulator(21);
  ASSERT_EQ(Run({"write", WriteValues("fleet.ini", FullValues()), "--port", "21"}).code, 0);
  CFormValues edited = FullValues();
  edited.Text(Apn) = "changed.apn";
  edited.Address(BeiIp)[2] = 77;
  edited.Text(PhoneName[2]) = "Someone Else";
  edited.Text(WhiteNumber[6]) = "0999";
  edited.Number(PinCheck) = 0;
  edited.Number(KeyBox[1]) = 0;  // boxes are not compared
  const std::string file = WriteValues("edited.ini", edited);

  const Result text = Run({"diff", file, "--port", "21"});
  EXPECT_EQ(text.code, 1) << text.err;
  const std::vector<Diff> expected = {{21, "RVSRI", "APN", "changed.apn", "apn.example.net"},
                                      {21, "RVBEI", "IP3", "77", "8"},
                                      {21, "RVKPN", "PhoneName2", "Someone Else", "Driver 2"},
                                      {21, "RVWLT", "Numb7", "0999", "0170123456"},
                                      {21, "RVPIN", "PinCheck", "0", "1"}};
  EXPECT_EQ(TextDifferences(text.out), expected) << text.out;
  EXPECT_EQ(text.out.substr(0, text.out.find('\n')), "COM21 diff: 5 differences, " + kAllKeysCompared);

  const Result json = Run({"diff", file, "--port", "21", "--json"});
  EXPECT_EQ(json.code, 1);
  const auto objects = JsonLines(json.out);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(JsonDifferences(objects), expected);
  EXPECT_EQ(objects[0]["outcome"].string, "different");
  EXPECT_EQ(objects[0]["exitCode"].number, 1);
  EXPECT_EQ(objects[0]["keysCompared"].number, kAllGroupsKeyCount);

  // Narrowed to some groups, only theirs are read and compared.
  const Result narrow = Run({"diff", file, "--port", "21", "--groups", "bei,pin"});
  EXPECT_EQ(narrow.code, 1);
  EXPECT_EQ(TextDifferences(narrow.out), (std::vector<Diff>{expected[1], expected[4]}));
  EXPECT_EQ(narrow.out.substr(0, narrow.out.find('\n')), "COM21 diff: 2 differences, 9 keys compared");
}

TEST_F(CliTest, WriteSendsEveryGroupInSendAllOrderButNeverRto) {
  sim::CTrackerSim& sim = AddSimulator(21);
  CFormValues values = FullValues();
  values.Number(RtoOption) = 4;
  const Result write = Run({"write", WriteValues("fleet.ini", values), "--port", "21"});
  ASSERT_EQ(write.code, 0) << write.err;
  EXPECT_EQ(write.out, "COM21 write: ok, 8 groups, 15 lines sent\n");
  EXPECT_EQ(SettingsLines(sim),
            (std::vector<std::string>{"AT+RVSRI=", "AT+RVBEI=", "AT+RVTRI=", "AT+RVGEO=", "AT+RVGEO=",
                                      "AT+RVGEO=", "AT+RVGEO=", "AT+RVBAC=", "AT+RVKPN=", "AT+RVKPN=",
                                      "AT+RVKPN=", "AT+RVKPN=", "AT+RVKPN=", "AT+RVWLT=", "AT+RVPIN="}));
  const auto received = sim.ReceivedLines();
  EXPECT_EQ(std::count(received.begin(), received.end(), "AT+WCSL=1"), 1);
  EXPECT_EQ(received.back(), "AT+CSCLK=1");
}

TEST_F(CliTest, WriteSendsTheTickedRowsOfTheGroupsAskedFor) {
  sim::CTrackerSim& sim = AddSimulator(21);
  CFormValues values = FullValues();
  for (int n = 0; n < 4; ++n) values.Number(FenceBox[n]) = n == 1;
  for (int k = 0; k < 5; ++k) values.Number(KeyBox[k]) = k == 3;
  const std::string file = WriteValues("rows.ini", values);
  const Result write = Run({"write", file, "--port", "21", "--groups", "geo,kpn,pin,sri"});
  ASSERT_EQ(write.code, 0) << write.err;
  std::vector<std::string> lines;
  for (const std::string& line : sim.ReceivedLines())
    if (line.rfind("AT+RV", 0) == 0 && line[8] == '=') lines.push_back(line.substr(0, line.find(',', 14)));
  EXPECT_EQ(lines, (std::vector<std::string>{"AT+RVSRI=5830,0", "AT+RVGEO=5830,2", "AT+RVKPN=5830,3",
                                             "AT+RVPIN=5830,1"}));
  // Verify compares what was sent: the untouched rows keep the tracker's values.
  const Result verify = Run({"verify", file, "--port", "21", "--groups", "geo,kpn"});
  EXPECT_EQ(verify.code, 0) << verify.out;
  EXPECT_EQ(verify.out, "COM21 verify: equal, 2 lines sent, 8 keys compared\n");
}

TEST_F(CliTest, WriteThenVerifyPassesAndTheLogHoldsTheTraffic) {
  AddSimulator(21);
  const std::string file = WriteValues("fleet.ini", FullValues());
  ASSERT_EQ(Run({"write", file, "--port", "21"}).code, 0);
  const Result verify = Run({"verify", file, "--port", "21", "--log-dir", dir / "logs"});
  EXPECT_EQ(verify.code, 0) << verify.err;
  EXPECT_EQ(verify.out, "COM21 verify: equal, 15 lines sent, " + kAllKeysCompared + "\n");
  const std::string log = ReadFile(dir / "logs/AtLog.log");
  EXPECT_TRUE(
      std::regex_search(log, std::regex(R"(\d{4}-\d{1,2}-\d{1,2}; \d{1,2}:\d{1,2}:\d{1,2} --> AT\+RVSRI=)")));
  EXPECT_NE(log.find(" --> AT+RVPIN?"), std::string::npos);  // the read back is logged too
}

TEST_F(CliTest, AllowCapsSendsTheWindowsCorrectionsAndReportsEach) {
  sim::CTrackerSim& sim = AddSimulator(21);
  CFormValues values = FullValues();
  values.Text(SriPort) = "123456";
  values.Text(EndTime) = "2400";
  const std::string file = WriteValues("caps.ini", values);

  const Result refused = Run({"write", file, "--port", "21"});
  EXPECT_EQ(refused.code, 2);
  EXPECT_NE(refused.err.find("[RVSRI] ServerPort = '123456': is 6 characters, over its input limit of 5; the "
                             "window would correct it: Error, Server Port > 5 Byte"),
            std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("[RVTRI] EndTime = '2400'"), std::string::npos);
  EXPECT_NE(refused.err.find("--allow-caps"), std::string::npos);
  EXPECT_TRUE(sim.ReceivedLines().empty());

  const Result verify = Run({"verify", file, "--port", "21", "--allow-caps"});
  EXPECT_EQ(verify.code, 0) << verify.out << verify.err;
  EXPECT_NE(verify.out.find("COM21 capped: [RVSRI] ServerPort: Error, Server Port > 5 Byte -> '12345'"),
            std::string::npos)
      << verify.out;
  EXPECT_NE(
      verify.out.find("COM21 capped: [RVTRI] EndTime: Error, End Time Should be 0000 ~ 2359 ! -> '2359'"),
      std::string::npos);
  EXPECT_EQ(TextDifferences(verify.out).size(), 0u);
  // The file still differs from the tracker by exactly the corrected values.
  EXPECT_EQ(TextDifferences(Run({"diff", file, "--port", "21"}).out),
            (std::vector<Diff>{{21, "RVSRI", "ServerPort", "123456", "12345"},
                               {21, "RVTRI", "EndTime", "2400", "2359"}}));
}

// ---- Failures on the line ---------------------------------------------------

TEST_F(CliTest, VerifyAgainstAFaultyTrackerFailsWith4) {
  sim::CTrackerSim& sim = AddSimulator(21);
  const std::string file = WriteValues("fleet.ini", FullValues());
  sim.SetFault("AT+RVBAC=", sim::Fault::Error);
  const Result refused = Run({"verify", file, "--port", "21"});
  EXPECT_EQ(refused.code, 4);
  // What the tracker took before the refusal is said: it has been changed.
  EXPECT_EQ(refused.out,
            "COM21 verify: tracker failed: Send AT+RVBAC Fail ! (No Right Response !)\n"
            "COM21 groups the tracker took before it stopped: RVSRI, RVBEI, RVTRI, RVGEO (8 lines sent)\n");
  EXPECT_EQ(SettingsLines(sim).back(), "AT+RVBAC=");  // nothing after the refused line, no read back
  const auto received = sim.ReceivedLines();
  EXPECT_EQ(std::count(received.begin(), received.end(), "AT+RVSRI?"), 0);

  // One run against one fault; its one JSON object.
  const auto failedRun = [&](const char* prefix, sim::Fault fault, const char* command) {
    sim.ClearFaults();
    sim.SetFault(prefix, fault);
    const Result r = Run({command, file, "--port", "21", "--json"});
    EXPECT_EQ(r.code, 4);
    const auto objects = JsonLines(r.out);
    EXPECT_EQ(objects.size(), 1u);
    return objects.empty() ? Json() : objects[0];
  };
  const Json readBack = failedRun("AT+RVWLT?", sim::Fault::Silent, "verify");
  EXPECT_EQ(readBack["outcome"].string, "tracker-failed");
  EXPECT_EQ(readBack["message"].string, "Read AT+RVWLT Fail !");
  EXPECT_EQ(readBack["detail"].string, "No Response !");
  EXPECT_EQ(readBack["linesSent"].number, 15);  // the write went through

  // A write refused on the way: the groups before the refusal went through.
  const Json partial = failedRun("AT+RVTRI=", sim::Fault::Error, "write");
  std::vector<std::string> groups;
  for (const Json& g : partial["groupsSent"].items) groups.push_back(g.string);
  EXPECT_EQ(groups, (std::vector<std::string>{"RVSRI", "RVBEI"}));
  EXPECT_EQ(partial["linesSent"].number, 3);  // the refused line was written too
}

// Another tracker on the cable between the identity queries and the end of
// the write or the read back ends the run: nothing is recorded as verified.
TEST_F(CliTest, ATrackerSwappedDuringTheRunEndsAsTrackerChanged) {
  sim::CTrackerSim& sim = AddSimulator(21);
  const std::string file = WriteValues("fleet.ini", FullValues());
  const std::string other = sim::SimImei(22);
  const struct {
    const char* name;
    const char* command;
    const char* swapAfter;  // null: the same tracker throughout
    const char* newImei;    // empty: the new tracker gives no IMEI
    bool identify;
    int code;
    const char* outcome;
    int imeiQueries;  // AT+CGSN lines the tracker received
    bool readBack;
  } cases[] = {
      {"same tracker", "verify", nullptr, "", true, 0, "equal", 3, true},
      {"swapped during the write", "write", "AT+RVBEI=", "other", true, 4, "tracker-changed", 2, false},
      {"swapped before the read back", "verify", "AT+WCSL=0", "other", true, 4, "tracker-changed", 3, true},
      {"no IMEI after a retry", "verify", "AT+RVPIN=", "", true, 4, "tracker-changed", 3, false},
      {"--no-identify", "verify", "AT+RVBEI=", "other", false, 0, "equal", 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim.ClearFaults();
    sim.ClearReceived();
    const std::string newImei = c.newImei == "other"s ? other : c.newImei;
    if (c.swapAfter) sim.SwapTrackerAfter(c.swapAfter, 1, newImei);
    std::vector<std::string> args = {c.command, file, "--port", "21", "--json"};
    if (!c.identify) args.push_back("--no-identify");
    const Result r = Run(args);
    EXPECT_EQ(r.code, c.code) << r.err;
    const auto objects = JsonLines(r.out);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0]["outcome"].string, c.outcome);
    const auto received = sim.ReceivedLines();
    EXPECT_EQ(std::count(received.begin(), received.end(), "AT+CGSN"), c.imeiQueries);
    EXPECT_EQ(std::count(received.begin(), received.end(), "AT+RVPIN?") > 0, c.readBack);
    if (c.code == 0) continue;
    EXPECT_EQ(objects[0]["message"].string, "the tracker on COM21 changed from " + sim::SimImei(21) + " to " +
                                                (newImei.empty() ? "one that gives no IMEI" : newImei) +
                                                " during the run; nothing is recorded as verified");
    // Asked right after the last settings line, inside the write bracket.
    const auto last = std::find_if(received.rbegin(), received.rend(),
                                   [](const std::string& l) { return l.rfind("AT+RVPIN=", 0) == 0; });
    ASSERT_NE(last, received.rend());
    EXPECT_EQ(*std::prev(last), "AT+CGSN");
    // The journal row of the first tracker says so.
    const auto rows = JsonLines(RunRaw({"journal", "--json", "--imei", sim::SimImei(21)}).out);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0]["outcome"].string, "tracker-changed");
    EXPECT_EQ(rows[0]["exitCode"].number, 4);
  }
}

TEST_F(CliTest, APortThatDoesNotOpenGives3AndSaysWhy) {
  AddSimulator(21);
  CComPort holder({.number = 21, .discovery = env.discovery});  // another program holds the port
  ASSERT_TRUE(holder.Open());
  const Result r = Run({"write", WriteValues("fleet.ini", FullValues()), "--port", "21"});
  EXPECT_EQ(r.code, 3);
  EXPECT_NE(r.out.find("COM21 write: port not opened: Init COM:21 Baudrate:115200 Fail ! ("),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Another program holds the port"), std::string::npos) << r.out;
}

// ---- Several trackers at once ----------------------------------------------

TEST_F(CliTest, SeveralTrackersAtOnceEachWithItsOwnResultAndLog) {
  sim::CTrackerSim& a = AddSimulator(31);
  sim::CTrackerSim& b = AddSimulator(32);
  sim::CTrackerSim& c = AddSimulator(33);
  c.SetFault("AT+RVTRI=", sim::Fault::Silent);
  const std::string file = WriteValues("fleet.ini", FullValues());

  const Result r = Run({"verify", file, "-p", "31", "--port", "32,33", "--log-dir", dir / "logs"});
  EXPECT_EQ(r.code, 4);  // the worst wins
  EXPECT_NE(r.out.find("COM31 verify: equal, 15 lines sent, " + kAllKeysCompared + "\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("COM32 verify: equal, 15 lines sent, " + kAllKeysCompared + "\n"), std::string::npos);
  EXPECT_NE(
      r.out.find("COM33 verify: tracker failed: Send AT+RVTRI Fail ! (No Response !; No answer from the "
                 "tracker: check the cable, the port COM33 and that the tracker is powered.)\n"),
      std::string::npos)
      << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex(R"(\nPORT +DEVICE +IMEI +RESULT +EXIT +TIME\n)")));
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex("\nCOM31 +/dev/\\S+ +" + sim::SimImei(31) + R"( +equal +0 +[0-9.]+ s\n)")));
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex(R"(\nCOM33 +/dev/\S+ +\d{15} +tracker failed +4 .*Send AT\+RVTRI)")));
  for (int port : {31, 32, 33}) {
    const std::string log = ReadFile(dir / ("logs/AtLog-COM" + std::to_string(port) + ".log"));
    EXPECT_NE(log.find("--> AT+RVSRI="), std::string::npos) << port;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "logs/AtLog.log"));
  EXPECT_EQ(SettingsLines(a), SettingsLines(b));
  EXPECT_EQ(SettingsLines(c).size(), 3u);

  // The same facts as one JSON object per port, and no table.
  const Result json = Run({"diff", file, "-p", "31,32,33", "--json", "-q"});
  EXPECT_EQ(json.code, 1);  // the third tracker took no line from TRI on
  EXPECT_EQ(json.err, "");
  const auto objects = JsonLines(json.out);
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(objects[0]["outcome"].string, "equal");
  EXPECT_EQ(objects[2]["outcome"].string, "different");
  const auto textDiffs = TextDifferences(Run({"diff", file, "-p", "31,32,33"}).out);
  EXPECT_EQ(JsonDifferences(objects), textDiffs);
  ASSERT_FALSE(textDiffs.empty());
  for (const Diff& d : textDiffs) {  // what the third tracker never took: TRI and everything after it
    EXPECT_EQ(d.port, 33);
    EXPECT_NE(d.section, "RVSRI");
    EXPECT_NE(d.section, "RVBEI");
  }
  EXPECT_EQ(textDiffs[0].section, "RVTRI");
}

TEST_F(CliTest, ReadFromSeveralTrackersWritesOneFilePerPort) {
  AddSimulator(41);
  sim::CTrackerSim& b = AddSimulator(42);
  b.WithState([](sim::CTrackerState& s) { s.ApplySetting("AT+RVPIN=5830,0,4321,1,,,,,20110101000000"); });
  const Result r = Run({"read", "-o", dir / "bench.ini", "-p", "41,42"});
  ASSERT_EQ(r.code, 0) << r.err << r.out;
  // Each file is named by its tracker's IMEI, asked in the read's own wake-up.
  EXPECT_EQ(CIniFile(dir / ("bench-" + sim::SimImei(41) + ".ini")).GetString("RVPIN", "PIN", "?"), "");
  EXPECT_EQ(CIniFile(dir / ("bench-" + sim::SimImei(42) + ".ini")).GetString("RVPIN", "PIN", "?"), "4321");
  EXPECT_FALSE(std::filesystem::exists(dir / "bench.ini"));
  const std::vector<std::string> identified = b.ReceivedLines();
  EXPECT_EQ(std::count(identified.begin(), identified.end(), "AT+CGSN"), 1);
  // Without the identity queries: the window's bytes, and the files named by port.
  b.ClearReceived();
  ASSERT_EQ(Run({"read", "-o", dir / "bench.ini", "-p", "41,42", "--no-identify"}).code, 0);
  EXPECT_EQ(CIniFile(dir / "bench-COM42.ini").GetString("RVPIN", "PIN", "?"), "4321");
  const std::vector<std::string> lines = b.ReceivedLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "AT+CGSN"), 0);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "ATI"), 1);
  EXPECT_EQ(OutputFileForPort("/a/b.c/fleet.ini", 5), "/a/b.c/fleet-COM5.ini");
  EXPECT_EQ(OutputFileForPort("fleet", 12), "fleet-COM12");
}

TEST_F(CliTest, IdentifyGivesEachTrackersIdentityAsATableAndAsJson) {
  AddSimulator(61).SetFault("AT+CSQ", sim::Fault::Error);  // no signal: an empty item, no failure
  const Result json = Run({"identify", "--port", "61", "--json"});
  ASSERT_EQ(json.code, 0) << json.err << json.out;
  const auto objects = JsonLines(json.out);
  ASSERT_EQ(objects.size(), 1u);
  const Json& o = objects[0];
  EXPECT_EQ(o["schema"].number, kJsonSchema);
  EXPECT_EQ(o["command"].string, "identify");
  EXPECT_EQ(o["outcome"].string, "ok");
  EXPECT_EQ(o["exitCode"].number, 0);
  EXPECT_EQ(o["port"].number, 61);
  EXPECT_EQ(o["imei"].string, sim::SimImei(61));
  EXPECT_TRUE(o["imeiValid"].boolean);
  EXPECT_EQ(o["iccid"].string, sim::SimIccid(61));
  EXPECT_EQ(o["firmware"].string, "[Revision:1418B05SIM900M32] [SubEdition:KESTRUN_SIM_2.25]");
  EXPECT_EQ(o["rssi"].type, Json::Type::Null);
  EXPECT_EQ(o["ber"].type, Json::Type::Null);

  const Result text = Run({"identify", "--port", "61", "-q"});
  ASSERT_EQ(text.code, 0) << text.err;
  EXPECT_TRUE(std::regex_search(text.out, std::regex("^PORT +DEVICE +IMEI +ICCID +FIRMWARE +SIGNAL\n")));
  EXPECT_TRUE(std::regex_search(text.out, std::regex("\nCOM61 +/dev/\\S+ +" + sim::SimImei(61) + " +" +
                                                     sim::SimIccid(61) + " +\\[Revision:.* unknown\n")))
      << text.out;
}

// ---- Bad input touches no port ---------------------------------------------

TEST_F(CliTest, BadInputIsRefusedWithStatus2BeforeAnyPortIsTouched) {
  sim::CTrackerSim& sim = AddSimulator(21);
  const std::string good = WriteValues("good.ini", FullValues());
  std::filesystem::create_symlink(sim.slavePath(), dir / "ports/com24");  // the same tracker again
  WriteFile(dir / "notes.txt", "shopping list\nmilk\n");
  std::filesystem::create_directories(dir / "logs/AtLog.log");  // a log that cannot be written
  WriteFile(dir / "kept.ini", "[RVSRI]\n");
  std::filesystem::permissions(dir / "kept.ini", std::filesystem::perms::owner_read);
  WriteFile(dir / "number.ini", "[RVBAC]\nOSA=on\n");
  CFormValues comma = FullValues();
  comma.Text(PhoneName[1]) = "Smith, John";
  CFormValues letters = FullValues();
  letters.Text(WhiteNumber[0]) = "0170-CALLME";
  CFormValues longName = FullValues();
  longName.Text(PhoneName[0]) = std::string(21, 'n');
  CFormValues list = FullValues();
  list.Number(CallFilter) = 5;
  CFormValues range = FullValues();
  range.Number(MobileStart) = 9;
  range.Number(MobileEnd) = 1;
  CFormValues interval = FullValues();
  interval.Text(SendInterval) = "1441";
  CFormValues noNumber = FullValues();
  noNumber.Text(SendInterval) = "abc";
  std::filesystem::create_directory(dir / "ro");
  std::filesystem::permissions(dir / "ro",
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  WriteFile(dir / "linked.ini", "[RVSRI]\n");
  std::filesystem::create_hard_link(dir / "linked.ini", dir / "other-name.ini");

  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  std::vector<Case> cases = {
      {{"write", dir / "missing.ini", "-p", "21"}, "missing.ini: No such file or directory"},
      {{"diff", dir.path(), "-p", "21"}, "not a regular file"},
      {{"verify", dir / "notes.txt", "-p", "21"}, "not a config file"},
      {{"diff", dir / "number.ini", "-p", "21"}, "[RVBAC] OSA = 'on': is not a number"},
      {{"write", WriteValues("comma.ini", comma), "-p", "21"},
       "[RVKPN] PhoneName1 = 'Smith, John': holds a comma"},
      {{"write", WriteValues("letters.ini", letters), "-p", "21"},
       "[RVWLT] Numb1 = '0170-CALLME': must be digits only"},
      {{"write", WriteValues("long.ini", longName), "-p", "21", "--allow-caps"},
       "[RVKPN] PhoneName0 = 'nnnnnnnnnnnnnnnnnnnnn': is 21 characters, over its input limit of 20"},
      {{"write", WriteValues("list.ini", list), "-p", "21"}, "[RVWLT] CallFilter = '5': is not a position"},
      {{"verify", WriteValues("range.ini", range), "-p", "21"},
       "[RVWLT] MobileStart = '9': is after MobileEnd"},
      {{"write", WriteValues("interval.ini", interval), "-p", "21"},
       "Error, Send Interval Should be 0 ~ 1440 !"},
      {{"write", WriteValues("no-number.ini", noNumber), "-p", "21", "--allow-caps"},
       "[RVTRI] SendInterval = 'abc': must be digits only"},
      {{"write", good, "-p", "21", "--groups", "tri", "--password", std::string(250, 'p')},
       "more than the 254"},
      {{"write", good, "-p", "22"}, "COM22 is not a known port; the ports are: COM21 ("},
      {{"write", good}, "no port given"},
      {{"write", good, "-p", "21", "--baud", "1200"}, "--baud must be one of"},
      {{"verify", good, "-p", "21,24"}, "COM21 and COM24 are the same device"},
      {{"read", "-o", dir / "no-such-folder/out.ini", "-p", "21"}, "does not exist"},
      {{"read", "-o", dir.path(), "-p", "21"}, "cannot be replaced (it is a folder)"},
      {{"read", "-o", dir / "kept.ini", "-p", "21"},
       "kept.ini: exists and cannot be replaced (it is read-only)"},
      {{"write", good, "-p", "21", "--log-dir", good}, "not a writable folder"},
      {{"write", good, "-p", "21", "--log-dir", dir / "logs"}, "traffic log " + dir / "logs/AtLog.log"},
      {{"write", good, "-p", "21", "--groups", "sri,rto"}, "RVRTO is an action"},
      {{"read", "-o", dir / "ro/out.ini", "-p", "21"}, "the folder is read-only"},
      {{"read", "-o", dir / "linked.ini", "-p", "21"}, "the file has 2 hard links"},
  };
  if (::geteuid() == 0) {  // links another user planted in a shared folder
    AddSimulator(25);
    ASSERT_TRUE(PlantLink(dir / "share", "out.ini", dir / "kept-too.ini", kOtherUser));
    ASSERT_TRUE(PlantLink(dir / "share", "AtLog.log", dir / "kept-too.ini", kOtherUser));
    ASSERT_TRUE(PlantLink(dir / "share", "AtLog-COM25.log", dir / "kept-too.ini", kOtherUser));
    cases.push_back({{"read", "-o", dir / "share/out.ini", "-p", "21"}, "following the symbolic link"});
    cases.push_back({{"write", good, "-p", "21", "--log-dir", dir / "share"},
                     "traffic log " + dir / "share/AtLog.log: following the symbolic link"});
    // The second port's log is refused: the first one's is not left behind.
    cases.push_back({{"write", good, "-p", "21,25", "--log-dir", dir / "share"},
                     "traffic log " + dir / "share/AtLog-COM25.log: following the symbolic link"});
  }
  for (const Case& c : cases) {
    const Result r = Run(c.args);
    EXPECT_EQ(r.code, 2) << c.says;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << "wanted: " << c.says << "\ngot: " << r.err;
    EXPECT_EQ(r.out, "") << c.says;
  }
  for (const auto& tracker : sims) EXPECT_TRUE(tracker->ReceivedLines().empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "kept-too.ini"));
  EXPECT_FALSE(std::filesystem::exists(dir / "share/AtLog-COM21.log"));
}

// ---- What can fail only after the tracker answered ------------------------

namespace {

ssize_t DiskFull(int, const void*, std::size_t) {
  errno = ENOSPC;
  return -1;
}

}  // namespace

TEST_F(CliTest, AResultThatCannotBeWrittenGives5AboveATrackerFailure) {
  AddSimulator(21);
  sim::CTrackerSim& silent = AddSimulator(22);
  silent.SetFault("AT+RVBEI?", sim::Fault::Silent);
  SetWriteCallForTests(DiskFull);
  const Result one = Run({"read", "-o", dir / "out.ini", "-p", "21", "--json"});
  const Result two = Run({"read", "-o", dir / "out.ini", "-p", "21,22", "--json"});
  SetWriteCallForTests(nullptr);
  EXPECT_EQ(one.code, 5) << one.err;
  const auto objects = JsonLines(one.out);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["outcome"].string, "output-failed");
  EXPECT_NE(objects[0]["detail"].string.find("No space left on device"), std::string::npos);
  EXPECT_FALSE(sims[0]->ReceivedLines().empty());  // the tracker was read
  EXPECT_FALSE(std::filesystem::exists(dir / "out.ini"));
  EXPECT_EQ(two.code, 5) << two.out;  // over the 4 of the silent tracker
  const auto both = JsonLines(two.out);
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[1]["exitCode"].number, 4);
}

TEST_F(CliTest, ATrafficLogThatFailsOnTheWayIsSaidOnceAndTheRunGoesOn) {
  AddSimulator(21);
  const std::string file = WriteValues("fleet.ini", FullValues());
  const std::string log = dir / "logs/AtLog.log";
  // Once the run is under way the log's name becomes a folder: every later line fails.
  env.onStatus = [&](int, const std::string&) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(log, ec)) {
      std::filesystem::remove(log, ec);
      std::filesystem::create_directory(log, ec);
    }
  };
  const Result r = Run({"verify", file, "-p", "21", "--log-dir", dir / "logs", "--json", "-q"});
  EXPECT_EQ(r.code, 0) << r.err;
  const auto objects = JsonLines(r.out);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["outcome"].string, "equal");
  EXPECT_EQ(objects[0]["logError"].string, log + ": opening it: Is a directory");
  EXPECT_EQ(r.err, "rv450-cli: warning: COM21: the traffic log could not be written: " + log +
                       ": opening it: Is a directory\n");  // once, though two steps ran

  env.onStatus = nullptr;
  const Result fine =
      Run({"read", "-o", dir / "out.ini", "-p", "21", "--log-dir", dir / "fresh/logs", "--json"});
  const auto fineObjects = JsonLines(fine.out);
  ASSERT_EQ(fineObjects.size(), 1u) << fine.err;
  EXPECT_EQ(fineObjects[0]["logError"].string, "");
  struct stat st {};
  ASSERT_EQ(::stat((dir / "fresh/logs").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);  // the log holds the password
  ASSERT_EQ(::stat((dir / "fresh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST_F(CliTest, MainSettingIniGivesPortBaudPasswordAndPacing) {
  AddSimulator(25);
  AddSimulator(26);
  sims[1]->WithState(
      [](sim::CTrackerState& s) { s.ApplySetting("AT+RVPIN=5830,1,2468,1,,,,,20110101000000"); });
  const std::string file = WriteValues("fleet.ini", FullValues());
  // ComPort is a position in the port list: 1 is COM26.
  WriteFile(dir / "MainSetting.ini", "[Main]\nGenPassword=5830\nComPort=1\nBaudrate=0\nPacing=fast\n");
  Result r = RunRaw({"diff", file, "--groups", "pin", "--json"});
  EXPECT_EQ(r.code, 1) << r.err;
  ASSERT_EQ(JsonLines(r.out).size(), 1u);
  EXPECT_EQ(JsonLines(r.out)[0]["port"].number, 26);
  EXPECT_EQ(JsonLines(r.out)[0]["differences"].items[0]["tracker"].string, "2468");

  // The tracker refuses a wrong password, and the reason line says so; the
  // option wins over the file.
  WriteFile(dir / "MainSetting.ini", "[Main]\nGenPassword=1111\nComPort=0\nComPortNumber=25\nBaudrate=1\n");
  r = Run({"write", file, "--groups", "pin"});
  EXPECT_EQ(r.code, 4);
  EXPECT_EQ(r.out.rfind("COM25 write: tracker failed: Send AT+RVPIN Fail !", 0), 0u) << r.out;
  EXPECT_NE(r.out.find(HintText(Cause::WrongPassword, 25)), std::string::npos) << r.out;
  r = Run({"write", file, "--groups", "pin", "--password", "5830"});
  EXPECT_EQ(r.code, 0) << r.out;

  WriteFile(dir / "MainSetting.ini", "[Main]\nComPort=7\n");
  r = Run({"diff", file});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("ComPort 7 designates no port; the ports are: COM25"), std::string::npos) << r.err;
  WriteFile(dir / "MainSetting.ini", "[Main]\nGenPassword=58,30\nComPortNumber=25\n");
  r = Run({"write", file});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("holds a comma"), std::string::npos) << r.err;

  // A damaged file picks no port and no rate by itself; the options still win.
  WriteFile(dir / "MainSetting.ini", "[Main]\nComPort=abc\nBaudrate=99\n");
  r = Run({"write", file});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("[Main] ComPort = 'abc' is not a list position; use --port N"), std::string::npos)
      << r.err;
  r = Run({"write", file, "-p", "25"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("[Main] Baudrate = '99' is not a list position; use --baud RATE"), std::string::npos)
      << r.err;
  r = Run({"write", file, "--groups", "pin", "-p", "25", "--baud", "115200", "--password", "5830"});
  EXPECT_EQ(r.code, 0) << r.out << r.err;
}

// The file stores a list position and, beside it, the port's number: the
// number wins while the port is there; a command that writes to a tracker
// does not take a position alone, one that only reads does.
TEST_F(CliTest, StoredPortNumberWinsAndWritingRefusesAPositionAlone) {
  AddSimulator(31);
  AddSimulator(32);
  const std::string file = WriteValues("pin.ini", FullValues());
  struct Case {
    const char* what;
    std::string settings;
    const char* command;
    int code;
    int port;             // the port used; 0: none
    std::string refusal;  // in the error output
  };
  const Case cases[] = {
      {"number wins over the position", "ComPort=0\nComPortNumber=32", "read", 0, 32, ""},
      {"number wins for a write", "ComPort=0\nComPortNumber=32", "write", 0, 32, ""},
      {"position alone for a read", "ComPort=1", "read", 0, 32, ""},
      {"position alone for a write", "ComPort=1", "write", 2, 0, "no ComPortNumber"},
      {"number of a port gone for a verify", "ComPort=1\nComPortNumber=7", "verify", 2, 0,
       "ComPortNumber 7 is not a known port"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(dir / "MainSetting.ini", "[Main]\nGenPassword=5830\nPacing=fast\n" + c.settings + "\n");
    std::vector<std::string> args = {c.command, file, "--groups", "pin", "--json"};
    if (args[0] == "read") args = {"read", "-o", dir / "out.ini", "--json"};
    const Result r = RunRaw(args);
    EXPECT_EQ(r.code, c.code) << r.out << r.err;
    if (c.port == 0) {
      EXPECT_NE(
          r.err.find(c.refusal + "; a list position alone is not enough to write to a tracker; use --port N"),
          std::string::npos)
          << r.err;
      continue;
    }
    ASSERT_EQ(JsonLines(r.out).size(), 1u) << r.err;
    EXPECT_EQ(JsonLines(r.out)[0]["port"].number, c.port);
  }
}

TEST_F(CliTest, PasswordSourcesTakeTurnsAndEachIsChecked) {
  AddSimulator(27);  // takes 5830 only
  const std::string file = WriteValues("pin.ini", FullValues());
  struct Case {
    const char* what;
    std::vector<std::string> options;
    std::optional<std::string> variable;  // RV450_PASSWORD
    std::string settings;                 // [Main] of MainSetting.ini; empty: no such file
    std::string fileText;                 // written to pw.txt with `fileMode`
    int fileMode;
    std::string input;  // standard input
    int code;
    std::string says;  // on standard error
  };
  const std::string pw = dir / "pw.txt";
  std::vector<Case> cases = {
      {"default", {}, std::nullopt, "", "", 0600, "", 0, ""},
      {"settings", {}, std::nullopt, "GenPassword=1111", "", 0600, "", 4, ""},
      {"variable over settings", {}, "5830", "GenPassword=1111", "", 0600, "", 0, ""},
      {"empty variable is unset", {}, "", "GenPassword=1111", "", 0600, "", 4, ""},
      {"option over variable", {"--password", "5830"}, "1111", "", "", 0600, "", 0, "other users can see"},
      {"file over variable", {"--password-file", pw}, "1111", "", "5830\r\nnot this\n", 0600, "", 0, ""},
      {"asked over variable", {"--password", "-"}, "1111", "", "", 0600, "5830\n", 0, ""},
      {"file others may read",
       {"--password-file", pw},
       std::nullopt,
       "",
       "5830\n",
       0640,
       "",
       2,
       "(mode 0640); make it yours alone: chmod 600"},
      {"empty file", {"--password-file", pw}, std::nullopt, "", "", 0600, "", 2, "empty"},
      {"empty first line of the file",
       {"--password-file", pw},
       std::nullopt,
       "",
       "\n5830\n",
       0600,
       "",
       2,
       "the password from --password-file " + pw + " is empty"},
      {"empty line asked",
       {"--password", "-"},
       std::nullopt,
       "",
       "",
       0600,
       "\n",
       2,
       "from --password - is empty"},
      {"empty option", {"--password", ""}, std::nullopt, "", "", 0600, "", 2, "from --password is empty"},
      {"empty in the settings",
       {},
       std::nullopt,
       "GenPassword=",
       "",
       0600,
       "",
       2,
       "MainSetting.ini is empty"},
      {"nothing asked", {"--password", "-"}, std::nullopt, "", "", 0600, "", 2, "no password was given"},
      {"CR from the variable",
       {},
       "58\rAT+CFUN=0",
       "",
       "",
       0600,
       "",
       2,
       "the password from RV450_PASSWORD holds a control character (CR)"},
      {"ESC from the file",
       {"--password-file", pw},
       std::nullopt,
       "",
       "58\x1b"
       "30",
       0600,
       "",
       2,
       "the password from --password-file " + pw + " holds a control character (ESC)"},
      {"TAB asked", {"--password", "-"}, std::nullopt, "", "", 0600, "58\t30\n", 2, "(TAB)"},
      {"CR from the settings",
       {},
       std::nullopt,
       "GenPassword=58\rAT+CFUN=0",
       "",
       0600,
       "",
       2,
       "MainSetting.ini holds a control character (CR)"},
  };
  if (::geteuid() == 0) {  // another user's link to a secret of ours, planted in a shared folder
    WriteFile(dir / "secret.txt", "5830\n");
    ::chmod((dir / "secret.txt").c_str(), 0600);
    ASSERT_TRUE(PlantLink(dir / "share", "pw", dir / "secret.txt", kOtherUser));
    cases.push_back({"planted link",
                     {"--password-file", dir / "share/pw"},
                     std::nullopt,
                     "",
                     "",
                     0600,
                     "",
                     2,
                     "--password-file " + dir / "share/pw" + ": following the symbolic link"});
  } else {
    std::cout << "[   NOTE   ] not root: the planted link case is left out (planting needs lchown)\n";
  }
  for (const Case& c : cases) {
    std::filesystem::remove(dir / "MainSetting.ini");
    if (!c.settings.empty()) WriteFile(dir / "MainSetting.ini", "[Main]\n" + c.settings + "\n");
    WriteFile(pw, c.fileText);
    ::chmod(pw.c_str(), static_cast<mode_t>(c.fileMode));
    std::istringstream input(c.input);
    env.input = &input;
    env.passwordVariable = c.variable;
    std::vector<std::string> args = {"write", file, "-p", "27", "--groups", "pin"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Result r = Run(args);
    EXPECT_EQ(r.code, c.code) << c.what << "\n" << r.err;
    if (!c.says.empty()) {
      EXPECT_NE(r.err.find(c.says), std::string::npos) << c.what << "\n" << r.err;
    }
  }
  // No line with a control character or an empty password ever reached the tracker.
  for (const std::string& line : sims[0]->ReceivedLines()) {
    EXPECT_FALSE(HasControlBytes(line)) << line;
    EXPECT_EQ(line.find("=,"), std::string::npos) << line;
  }
}

// ---- Ctrl+C -----------------------------------------------------------------

TEST_F(CliTest, AStopStopsEveryPortAtItsNextStepAndGives130) {
  for (int port : {51, 52}) AddSimulator(port).SetAnswerDelay(40);
  const std::string file = WriteValues("fleet.ini", FullValues());
  CStopSource stop;
  env.stop = &stop;
  // Ctrl+C as the first tracker starts on its second group.
  env.onStatus = [&](int, const std::string& status) {
    if (status.find("Sending AT+RVBEI") != std::string::npos) stop.Request();
  };
  const Result r = Run({"verify", file, "-p", "51,52", "--json"});
  EXPECT_EQ(r.code, 130);
  // The line that finishes the run, as the report would hold it.
  EXPECT_NE(r.err.find("to retry the failed trackers:\nrv450-cli verify " + file + " --port 51,52 --json"),
            std::string::npos)
      << r.err;
  const auto objects = JsonLines(r.out);
  ASSERT_EQ(objects.size(), 2u);
  for (const Json& o : objects) {
    EXPECT_EQ(o["outcome"].string, "stopped");
    EXPECT_EQ(o["exitCode"].number, 130);
  }
  for (auto& sim : sims) {
    const auto received = sim->ReceivedLines();
    EXPECT_EQ(std::count(received.begin(), received.end(), "AT+CSCLK=1"), 0);
    EXPECT_LT(SettingsLines(*sim).size(), 4u);
    CComPort again({.number = sim->comNumber(), .discovery = env.discovery});  // the port was closed
    EXPECT_TRUE(again.Open()) << again.openFailureReason();
  }

  // Asked for before anything started: no port is touched.
  sims[0]->ClearReceived();
  const Result early = Run({"write", file, "-p", "51"});
  EXPECT_EQ(early.code, 130);
  EXPECT_TRUE(sims[0]->ReceivedLines().empty());
}

// ---- The ports list ---------------------------------------------------------

TEST_F(CliTest, PortsListsNumbersDevicesStableNamesAndWhetherEachOpens) {
  sim::CTrackerSim& a = AddSimulator(61);
  AddSimulator(62);
  std::filesystem::create_directories(dir / "dev/serial/by-id");
  std::filesystem::create_symlink(a.slavePath(), dir / "dev/serial/by-id/usb-Kestrun_Sim_A-if00-port0");
  WriteFile(dir / "ports/com63", "");  // not a link: not a port
  CComPort holder({.number = 62, .discovery = env.discovery});
  ASSERT_TRUE(holder.Open());

  const Result text = RunRaw({"ports"});
  EXPECT_EQ(text.code, 0);
  EXPECT_TRUE(
      std::regex_search(text.out, std::regex("^COM61 +" + a.slavePath() + " +opens\n +stable name: " +
                                             (dir / "dev/serial/by-id/usb-Kestrun_Sim_A-if00-port0") + "\n")))
      << text.out;
  // The holder is named: this very process.
  EXPECT_TRUE(
      std::regex_search(text.out, std::regex(R"(\nCOM62 +/dev/\S+ +does not open: .*Another program holds )"
                                             R"(the port: .*)" +
                                             std::to_string(::getpid()))))
      << text.out;
  EXPECT_EQ(text.out.find("COM63"), std::string::npos);

  const auto objects = JsonLines(RunRaw({"ports", "--json"}).out);
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0]["port"].number, 61);
  EXPECT_TRUE(objects[0]["opens"].boolean);
  EXPECT_EQ(objects[0]["stableName"].string, dir / "dev/serial/by-id/usb-Kestrun_Sim_A-if00-port0");
  EXPECT_EQ(objects[0]["openPath"].string, dir / "ports/com61");
  EXPECT_FALSE(objects[1]["opens"].boolean);
  EXPECT_NE(objects[1]["reason"].string.find("Another program holds the port"), std::string::npos);

  // Listing leaves every port as it found it.
  holder.Close();
  CComPort again({.number = 61, .discovery = env.discovery});
  EXPECT_TRUE(again.Open());
}

TEST_F(CliTest, HelpAndVersionGoToStandardOutput) {
  Result r = RunRaw({"--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.rfind("Usage: rv450-cli", 0), 0u);
  r = RunRaw({"--version"});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(std::regex_match(r.out, std::regex(R"(rv450-cli \d+\.\d+\n)"))) << r.out;
  r = RunRaw({"frobnicate"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("Try 'rv450-cli --help'"), std::string::npos);
}

TEST_F(CliTest, ControlBytesTheUserGaveAreShownEscapedInMessages) {
  AddSimulator(21);
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{"write", "x\x1b[31mRED\a.ini", "-p", "21"}, "x\\x1B[31mRED\\x07.ini"},
      {{"write", "x.ini", "-p", "2\x1b[2J"}, "2\\x1B[2J"},
      {{"read", "-o", "o.ini", "-p", "21", "--\x1b]0;title\a"}, "--\\x1B]0;title\\x07"},
  };
  for (const auto& c : cases) {
    const Result r = Run(c.args);
    EXPECT_EQ(r.code, 2) << c.says;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << "wanted: " << c.says << "\ngot: " << r.err;
    EXPECT_EQ(r.err.find_first_of("\x1b\a"), std::string::npos) << r.err;
  }
}

TEST_F(CliTest, DryRunShowsTheLinesAndDevicePathsFindTheirPort) {
  sim::CTrackerSim& sim = AddSimulator(21);
  const std::string file = WriteValues("fleet.ini", FullValues());
  const std::string device = sim.slavePath();

  const Result dry = Run({"write", file, "--port", device, "--dry-run", "--json"});
  ASSERT_EQ(dry.code, 0) << dry.err;
  const auto objects = JsonLines(dry.out);
  ASSERT_EQ(objects.size(), 1u) << dry.out;
  EXPECT_EQ(objects[0]["port"].number, 21);
  EXPECT_EQ(objects[0]["outcome"].string, "dry-run");
  ASSERT_FALSE(objects[0]["wouldSend"].items.empty());
  for (const Json& line : objects[0]["wouldSend"].items) {
    EXPECT_EQ(line.string.rfind("AT+RV", 0), 0u) << line.string;
    EXPECT_NE(line.string.find("=****,"), std::string::npos) << line.string;
    EXPECT_EQ(line.string.substr(line.string.size() - 6), ",<UTC>") << line.string;
    // Neither the APN password nor the PIN is shown.
    for (const char* secret : {",s3cret,", ",1234,"})
      EXPECT_EQ(line.string.find(secret), std::string::npos) << line.string;
  }
  EXPECT_TRUE(sim.ReceivedLines().empty());

  // The same device by its link, and then for real.
  const Result verify = Run({"verify", file, "--port", sim.linkPath(), "--json"});
  ASSERT_EQ(verify.code, 0) << verify.err;
  EXPECT_EQ(JsonLines(verify.out)[0]["port"].number, 21);
  EXPECT_FALSE(SettingsLines(sim).empty());

  // A refused run says so on standard output too when --json was given.
  const struct {
    std::vector<std::string> args;
    std::string error;
  } refusals[] = {
      {{"write", file, "--port", dir / "nothing", "--json"}, "is no port with a COM number"},
      {{"write", file, "--port", "21", "--port", device, "--json"}, "given twice"},
      {{"write", "--json", "--frobnicate"}, "unknown option --frobnicate"},
  };
  for (const auto& row : refusals) {
    const Result r = Run(row.args);
    EXPECT_EQ(r.code, 2);
    const auto lines = JsonLines(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.out;
    EXPECT_EQ(lines[0]["schema"].number, 1);
    EXPECT_EQ(lines[0]["exitCode"].number, 2);
    EXPECT_NE(lines[0]["error"].string.find(row.error), std::string::npos) << lines[0]["error"].string;
  }
}

// ---- The batch report and the journal's failed rows ------------------------

namespace {

// RFC 4180 records: quoted fields may hold commas, doubled quotes and line ends.
std::vector<std::vector<std::string>> CsvRecords(const std::string& text) {
  std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
      records.back().back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == ',') {
      records.back().emplace_back();
    } else if (!quoted && c == '\n') {
      records.emplace_back(1);
    } else {
      records.back().back() += c;
    }
  }
  if (records.back() == std::vector<std::string>(1)) records.pop_back();
  return records;
}

}  // namespace

TEST_F(CliTest, ADamagedJournalStopsTheRunBeforeAnyPort) {
  sim::CTrackerSim& sim = AddSimulator(21);
  const std::string file = WriteValues("fleet.ini", FullValues());
  {
    journal::CJournal journal;
    std::string error;
    ASSERT_TRUE(journal.Open(env.journalPath, error)) << error;
    for (int i = 0; i < 100; ++i) {
      journal::JournalRow row;
      row.message = std::string(200, 'm');
      ASSERT_TRUE(journal.Append(row, error)) << error;
    }
  }
  const std::size_t linesBefore = sim.ReceivedLines().size();
  // The header page stays valid; a page of rows further on is overwritten.
  ASSERT_GT(std::filesystem::file_size(env.journalPath), 4 * 4096u);
  {
    std::fstream journal(env.journalPath, std::ios::in | std::ios::out | std::ios::binary);
    journal.seekp(2 * 4096);
    journal.write(std::string(2 * 4096, '\x5a').data(), 2 * 4096);
  }
  const Result r = Run({"write", file, "--port", "21"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find(env.journalPath + ": the journal file is damaged ("), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("no port was touched"), std::string::npos) << r.err;
  EXPECT_EQ(sim.ReceivedLines().size(), linesBefore);
}

TEST_F(CliTest, ReportFileHoldsEachTrackersJournalRowAndTheJournalItsFailures) {
  AddSimulator(21);
  AddSimulator(22).SetFault("AT+RVSRI=", sim::Fault::Error);
  const std::string file = WriteValues("fleet, \"north\".ini", FullValues());  // quoted in CSV

  const Result csv = Run({"verify", file, "-p", "21,22", "-q", "--report", dir / "run.csv"});
  EXPECT_EQ(csv.code, 4) << csv.err;
  const auto records = CsvRecords(ReadFile(dir / "run.csv"));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0][0], "id");
  EXPECT_EQ(std::count(records[0].begin(), records[0].end(), "sent"), 0);
  std::map<std::string, std::string> second;
  for (std::size_t i = 0; i < records[0].size(); ++i) second[records[0][i]] = records[2].at(i);
  EXPECT_EQ(second["port"], "COM22");
  EXPECT_EQ(second["template"], file);
  EXPECT_EQ(second["outcome"], "tracker-failed");
  EXPECT_EQ(second["exitCode"], "4");
  EXPECT_NE(second["message"].find("Send AT+RVSRI Fail !"), std::string::npos);

  const Result json = Run({"verify", file, "-p", "21,22", "-q", "--report", dir / "run.JSON"});
  EXPECT_EQ(json.code, 4);
  const Json doc = Json::Parse(ReadFile(dir / "run.JSON"));
  EXPECT_EQ(doc["schema"].number, 1);
  EXPECT_EQ(doc["command"].string, "verify");
  EXPECT_EQ(doc["exitCode"].number, 4);
  EXPECT_NE(doc["retry"].string.find(" --port 22 "), std::string::npos) << doc["retry"].string;
  ASSERT_EQ(doc["rows"].items.size(), 2u);
  const Json& first = doc["rows"].items[0];
  EXPECT_EQ(first["outcome"].string, "equal");
  EXPECT_EQ(first["imei"].string, sim::SimImei(21));
  EXPECT_EQ(first["settingsHash"].string.size(), 64u);
  // Each report row is the journal's row of that tracker.
  const auto journal = JsonLines(RunRaw({"journal", "--json", "--imei", sim::SimImei(21)}).out);
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(journal[0]["id"].string, first["id"].string);
  EXPECT_EQ(journal[0]["time"].string, first["time"].string);

  // "failed" is every failed tracker, not the equal ones; an outcome word must be one.
  const auto failed = JsonLines(RunRaw({"journal", "--json", "--outcome", "failed"}).out);
  ASSERT_EQ(failed.size(), 2u);
  for (const Json& row : failed) EXPECT_EQ(row["outcome"].string, "tracker-failed");
  const std::string table = RunRaw({"journal", "--outcome", "failed"}).out;
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 5)
      << table;  // header, two rows with their messages
  EXPECT_NE(table.find("\n    Send AT+RVSRI Fail !"), std::string::npos) << table;
  const struct {
    std::vector<std::string> args;
    std::string error;
  } refusals[] = {
      {{"journal", "--outcome", "tracker-fail"}, "is no outcome; use one of ok,equal,"},
      {{"journal", "devices", "--with-columns", "RVSRI/Password"}, "may hold a PIN or a password"},
      {{"verify", file, "-p", "21", "--report", dir / "run.txt"}, "ending in .csv or .json"},
      {{"verify", file, "-p", "21", "--report", dir / "none/run.csv"}, "does not exist"},
      {{"verify", file, "-p", "21", "--report", dir / "run.csv", "--dry-run"}, "exclude each other"},
  };
  for (const auto& row : refusals) {
    sims[0]->ClearReceived();
    const Result r = RunRaw(row.args);
    EXPECT_EQ(r.code, 2) << row.args.back();
    EXPECT_NE(r.err.find(row.error), std::string::npos) << r.err;
    EXPECT_TRUE(sims[0]->ReceivedLines().empty());
  }
}
