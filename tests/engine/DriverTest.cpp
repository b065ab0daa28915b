// The device engine against the simulator over a pseudo-terminal: each
// operation on the engine's own worker, as the tool runs it, reported through
// a recording front end.
#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "../support/RecordingEvents.h"
#include "../support/SimSupport.h"
#include "../support/TestSupport.h"
#include "../support/VirtualClock.h"
#include "engine/AtExchange.h"
#include "engine/DeviceEngine.h"
#include "engine/ExchangeReasons.h"
#include "port/ComPort.h"
#include "protocol/ControlIds.h"
#include "sim/TrackerSim.h"

using namespace kestrun;
using namespace kestrun::testing;
using namespace ctl;
using namespace std::string_literals;

namespace {

class DriverTest : public SimulatorTest {
 protected:
  DriverTest() : SimulatorTest(21) {}
  void SetUp() override {
    SimulatorTest::SetUp();
    model.SetPassword("5830");
    model.liveUpdate = true;
  }
  // An operation on the fixture's form, port and pacing.
  OperationPlan Plan(OperationKind kind, const GroupSelection& selection = {}) {
    OperationPlan plan;
    plan.kind = kind;
    plan.selection = selection;
    plan.form = model;
    plan.port = {portNumber, baudRate, Discovery()};
    plan.logPath = dir / "AtLog.log";
    plan.pacing = pacing;
    plan.clock = clock;
    return plan;
  }
  // Runs one operation on the engine's worker and waits for its end; `model`
  // then holds the engine's copy.
  void RunOperation(OperationKind kind, const GroupSelection& selection = {}) {
    const int before = events.finished;
    ASSERT_TRUE(engine.Start(Plan(kind, selection)));
    ASSERT_TRUE(events.WaitFinished(before + 1));
    engine.Wait();
    model = engine.Form();
  }
  void Read(const GroupSelection& selection) { RunOperation(OperationKind::Read, selection); }
  void Send(const GroupSelection& selection) { RunOperation(OperationKind::Send, selection); }
  void SendAll() { RunOperation(OperationKind::SendAll); }
  std::vector<std::string> Received() { return sim_->ReceivedLines(); }
  long CountReceived(const std::string& line) {
    const auto lines = Received();
    return std::count(lines.begin(), lines.end(), line);
  }
  bool ReceivedLine(const std::string& line) {
    const auto lines = Received();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  // Makes `prefix` silent and the operation's waits skip once the simulator
  // has taken such a line: it answers nothing from then on.
  void SilentFrom(const std::string& prefix) {
    sim_->SetFault(prefix, sim::Fault::Silent);
    silence_ = std::make_unique<CSilenceClock>([this, prefix] {
      for (const auto& line : Received())
        if (line.rfind(prefix, 0) == 0) return true;
      return false;
    });
    clock = silence_.get();
  }

  CFormModel model;
  int portNumber = 21;
  int baudRate = 115200;
  CPacing pacing = CPacing::Fast();
  IClock* clock = &SteadyClock();
  CRecordingEvents events;
  std::unique_ptr<CSilenceClock> silence_;
  CDeviceEngine engine{events};  // last: stops its worker before the rest goes
};

GroupSelection Only(Group group) {
  GroupSelection s{};
  s[static_cast<int>(group)] = true;
  return s;
}

}  // namespace

TEST_F(DriverTest, ReadAllFillsEveryGroupWithoutAnRtoQuery) {
  sim_->WithState([](sim::CTrackerState& s) {
    s.ApplySetting("AT+RVTRI=5830,0700,1900,10,30,20110101000000");
    s.ApplySetting("AT+RVKPN=5830,2,1,1,5551234,,BOOKER,20110101000000");
  });
  GroupSelection all;
  all.fill(true);
  Read(all);

  std::vector<std::string> queries;
  for (const auto& line : Received())
    if (line.size() == 9 && line.back() == '?') queries.push_back(line);
  EXPECT_EQ(queries, (std::vector<std::string>{"AT+RVSRI?", "AT+RVBEI?", "AT+RVTRI?", "AT+RVGEO?",
                                               "AT+RVBAC?", "AT+RVKPN?", "AT+RVWLT?", "AT+RVPIN?"}));
  EXPECT_EQ(Received().back(), "AT+CSCLK=1");
  EXPECT_EQ(events.statuses.back(), "Read AT Command Success .");
  ASSERT_FALSE(events.popups.empty());
  EXPECT_EQ(events.popups.back().message, "Read Setting Success .");
  EXPECT_TRUE(events.popups.back().autoClose);
  EXPECT_EQ(events.enableCalls, (std::vector<int>{0, 1}));
  EXPECT_EQ(model.values.Text(BeginTime), "0700");
  EXPECT_EQ(model.values.Text(PhoneName[2]), "BOOKER");  // an OK inside a value is no closing OK
  EXPECT_EQ(model.values.Text(Apn), "internet");
  EXPECT_EQ(model.values.Address(SriIp), (Octets{192, 168, 10, 20}));
  EXPECT_EQ(events.version, "[Revision:1418B05SIM900M32] [SubEdition:KESTRUN_SIM_2.25]");
  EXPECT_TRUE(PortIsFree());

  const std::string traffic = ReadFile(dir / "AtLog.log");
  EXPECT_TRUE(std::regex_search(
      traffic, std::regex(R"(\d{4}-\d{1,2}-\d{1,2}; \d{1,2}:\d{1,2}:\d{1,2} --> AT\+RVSRI\?\r\n)")));
  EXPECT_NE(traffic.find(" <-- AT+RVPIN?\r\r\r\n+RVPIN:0,,0\r\r\n\r\r\nOK\r\r\n\r\n"), std::string::npos);
  EXPECT_EQ(traffic.find("ATI"), std::string::npos);  // version queries are not logged
}

// One wake-up bracket: every identity query answered and logged; one the
// tracker refuses leaves its item empty and fails nothing.
TEST_F(DriverTest, IdentifyAsksEveryIdentityQueryInOneWakeUp) {
  sim_->SetFault("AT+CCID", sim::Fault::Error);
  RunOperation(OperationKind::Identify);

  EXPECT_TRUE(events.result.ok()) << events.result.message;
  EXPECT_EQ(Received(), (std::vector<std::string>{"AT+CSCLK=0", "AT+CSCLK=0", "AT+CSCLK=0", "AT+CSCLK=0",
                                                  "ATI", "at+csub", "AT+CGSN", "AT+CCID", "AT+CSQ",
                                                  "AT+CSCLK=1", "AT+CSCLK=1", "AT+CSCLK=1", "AT+CSCLK=1"}));
  ASSERT_EQ(events.identities.size(), 1u);
  const TrackerIdentity& id = events.identities[0];
  EXPECT_EQ(id.imei, sim::SimImei(ComNumber()));
  EXPECT_TRUE(id.imeiValid);
  EXPECT_EQ(id.Key(), id.imei);
  EXPECT_EQ(id.iccid, "");
  EXPECT_EQ(id.firmware, "[Revision:1418B05SIM900M32] [SubEdition:KESTRUN_SIM_2.25]");
  EXPECT_EQ(id.rssi, 21);
  EXPECT_EQ(id.ber, 0);
  EXPECT_EQ(events.statuses.back(), "Identify Tracker Success . IMEI: " + id.imei);
  EXPECT_TRUE(PortIsFree());

  const std::string traffic = ReadFile(dir / "AtLog.log");
  for (const std::string& line :
       std::vector<std::string>{" --> ATI\r\n", " --> at+csub\r\n", " --> AT+CGSN\r\n",
                                " <-- AT+CGSN\r\r\r\n" + id.imei + "\r\r\n", " --> AT+CCID\r\n",
                                " <-- AT+CCID\r\r\r\nERROR\r\r\n", " <-- AT+CSQ\r\r\r\n+CSQ: 21,0\r\r\n"})
    EXPECT_NE(traffic.find(line), std::string::npos) << line << traffic;
}

TEST_F(DriverTest, PortThatDoesNotOpen) {
  portNumber = 99;
  baudRate = 57600;
  Read(Only(Group::Sri));
  EXPECT_EQ(events.statuses.back(), "Init COM:99 Baudrate:57600 Fail !");
  EXPECT_FALSE(events.statusDetail.empty());
  ASSERT_EQ(events.popups.size(), 1u);
  EXPECT_EQ(events.popups[0].message, "Init COM:99 Baudrate:57600 Fail !");
  EXPECT_EQ(events.popups[0].iconKind, kIconFailure);
  EXPECT_TRUE(Received().empty());
  EXPECT_EQ(events.enableCalls, (std::vector<int>{0, 1}));
}

TEST_F(DriverTest, OkBeforeTheTagThreeTimesIsNoResponse) {
  sim_->SetFault("AT+RVSRI?", sim::Fault::OkBeforeTag);
  Read(Only(Group::Sri));
  EXPECT_EQ(events.statuses.back(), "Read AT+RVSRI Fail !");
  EXPECT_EQ(events.popups.back().message, "No Response !");
  EXPECT_EQ(CountReceived("AT+RVSRI?"), 3);
  EXPECT_FALSE(ReceivedLine("AT+CSCLK=1"));
  EXPECT_TRUE(PortIsFree());
}

TEST_F(DriverTest, ReplyRejectedTwiceThenAccepted) {
  sim_->SetFault("AT+RVPIN?", sim::Fault::WrongCount, 2);
  Read(Only(Group::Pin));
  EXPECT_EQ(events.statuses.back(), "Read AT Command Success .");
  EXPECT_EQ(CountReceived("AT+RVPIN?"), 3);
}

TEST_F(DriverTest, ReplyRejectedThreeTimesIsReadDataError) {
  sim_->SetFault("AT+RVBEI?", sim::Fault::WrongCount);
  Read(Only(Group::Bei));
  EXPECT_EQ(events.popups.back().message, "Read Data Error !");
  EXPECT_EQ(events.statuses.back(), "Read AT+RVBEI Fail !");
}

TEST_F(DriverTest, FailingGroupInTheMiddleStopsTheRead) {
  SilentFrom("AT+RVGEO?");
  GroupSelection all;
  all.fill(true);
  Read(all);
  EXPECT_EQ(events.groupsRead, (std::vector<Group>{Group::Sri, Group::Bei, Group::Tri}));
  EXPECT_EQ(model.values.Text(BeginTime), "0800");
  EXPECT_EQ(model.values.Text(SpeedLimited), "");  // BAC not read
  EXPECT_FALSE(ReceivedLine("AT+RVBAC?"));
  EXPECT_FALSE(ReceivedLine("AT+CSCLK=1"));
  EXPECT_TRUE(PortIsFree());
  EXPECT_EQ(events.statuses.back(), "Read AT+RVGEO Fail !");
}

TEST_F(DriverTest, ReadReplyCapsAreReported) {
  sim_->WithState([](sim::CTrackerState& s) {
    s.ApplySetting("AT+RVSRI=5830,0,0,apn,u,p,1.2.3.4,123456,+49,20110101000000");
  });
  Read(Only(Group::Sri));
  EXPECT_EQ(model.values.Text(SriPort), "12345");
  EXPECT_EQ(events.popups.front().message, "Error, Server Port > 5 Byte");
}

TEST_F(DriverTest, SendAllOrderAndLines) {
  CFormValues& v = model.values;
  for (int id : {SriEnable, BeiEnable, TriEnable, RtoEnable, BacEnable, WltEnable, PinEnable})
    v.Number(id) = 1;
  v.Number(FenceBox[0]) = v.Number(FenceBox[2]) = 1;
  v.Number(KeyBox[0]) = v.Number(KeyBox[4]) = 1;
  v.Number(RtoOption) = 2;
  v.Number(MobileEnd) = 9;
  SendAll();
  ASSERT_EQ(events.statuses.back(), "Send AT Command Success .") << events.statuses.back();
  const auto lines = Received();
  std::vector<std::string> settings;
  for (const auto& line : lines)
    if (line.rfind("AT+RV", 0) == 0) settings.push_back(line.substr(0, 15));
  EXPECT_EQ(settings, (std::vector<std::string>{"AT+RVSRI=5830,0", "AT+RVBEI=5830,,", "AT+RVTRI=5830,,",
                                                "AT+RVGEO=5830,1", "AT+RVGEO=5830,3", "AT+RVRTO=5830,3",
                                                "AT+RVBAC=5830,0", "AT+RVKPN=5830,0", "AT+RVKPN=5830,4",
                                                "AT+RVWLT=5830,1", "AT+RVPIN=5830,0"}));
  EXPECT_EQ(events.history.size(), 11u);
  EXPECT_EQ(lines.back(), "AT+CSCLK=1");
  const auto lastOther =
      std::find_if(lines.rbegin(), lines.rend(), [](const std::string& l) { return l != "AT+CSCLK=1"; });
  ASSERT_NE(lastOther, lines.rend());
  EXPECT_EQ(*lastOther, "AT+WCSL=0");
  EXPECT_EQ(events.popups.back().message, "Send Setting Success .");
  for (const auto& line : events.history) EXPECT_EQ(line.find("AT+CSCLK"), std::string::npos);
}

TEST_F(DriverTest, RefusedSecondFenceStopsTheSend) {
  for (int n = 0; n < 3; ++n) model.values.Number(FenceBox[n]) = 1;
  sim_->SetFault("AT+RVGEO=5830,2,", sim::Fault::Error);
  Send(Only(Group::Geo));
  EXPECT_EQ(events.popups.back().message, "No Right Response !");
  EXPECT_EQ(events.statuses.back(), "Send AT+RVGEO Fail !");
  EXPECT_EQ(events.history.size(), 2u);  // the failed line is listed too
  EXPECT_FALSE(ReceivedLine("AT+WCSL=0"));
  for (const auto& line : Received()) EXPECT_NE(line.rfind("AT+RVGEO=5830,3", 0), 0u);
  EXPECT_TRUE(PortIsFree());
}

TEST_F(DriverTest, SilentTrackerIsNoResponseAndTheLogHoldsFourLines) {
  SilentFrom("AT+RVPIN=");
  Send(Only(Group::Pin));
  EXPECT_EQ(events.popups.back().message, "No Response !");
  EXPECT_EQ(events.statuses.back(), "Send AT+RVPIN Fail !");
  const std::string traffic = ReadFile(dir / "AtLog.log");
  const std::size_t sent = traffic.find("--> AT+RVPIN=");
  ASSERT_NE(sent, std::string::npos);
  const std::string after = traffic.substr(sent);
  EXPECT_EQ(std::count(after.begin(), after.end(), '\n'), 4);  // one sent, three empty reads
}

TEST_F(DriverTest, NothingSelectedTouchesNoPort) {
  portNumber = 99;  // would fail loudly if it were opened
  SendAll();
  ASSERT_EQ(events.popups.size(), 1u);
  EXPECT_EQ(events.popups[0].message, "No Function Selected !");
  EXPECT_EQ(events.statuses, (std::vector<std::string>{""}));
}

TEST_F(DriverTest, SendThenReadGivesBackTheSameForm) {
  CFormValues& v = model.values;
  v.Number(ReportMode) = 2;
  v.Text(Apn) = "fleet.apn";
  v.Text(SmsGateway) = "+4917";
  v.Address(SriIp) = {10, 1, 2, 3};
  v.Text(SriPort) = "9000";
  v.Number(FenceBox[3]) = 1;
  v.Text(Longitude[3]) = "121.123456";
  v.Number(FenceType[3]) = 2;
  v.Number(KeyBox[1]) = 1;
  v.Text(PhoneName[1]) = "COOK";
  v.Number(KpnEnable[1]) = 1;
  v.Number(AutoAnswer[1]) = 1;
  v.Text(Pin) = "1234";
  GroupSelection s{};
  for (Group g : {Group::Sri, Group::Geo, Group::Kpn, Group::Pin}) s[static_cast<int>(g)] = true;
  Send(s);
  ASSERT_EQ(events.statuses.back(), "Send AT Command Success .");
  const CFormValues sent = v;
  model = CFormModel();
  Read(s);
  ASSERT_EQ(events.statuses.back(), "Read AT Command Success .");
  const CFormModel& fresh = model;
  for (int id : {Apn, SmsGateway, SriPort, Longitude[3], PhoneName[1], Pin})
    EXPECT_EQ(fresh.values.Text(id), sent.Text(id)) << id;
  for (int id : {ReportMode, FenceType[3], KpnEnable[1], AutoAnswer[1]})
    EXPECT_EQ(fresh.values.Number(id), sent.Number(id)) << id;
  EXPECT_EQ(fresh.values.Address(SriIp), sent.Address(SriIp));
}

TEST_F(DriverTest, UnansweredSlowClockGivesUpAfterThirtyAttempts) {
  // Nothing but silence until the operation gives up: every wait may pass
  // on the virtual clock.
  sim_->SetFault("AT+CSCLK=0", sim::Fault::Silent);
  CVirtualClock virtualClock;
  clock = &virtualClock;
  Read(Only(Group::Sri));
  // Each attempt polls once: the read ends on the token, so it lasts the
  // poll's pause longer instead of pausing first.
  EXPECT_EQ(virtualClock.Elapsed(), 30 * (CPacing::PollInterval() + CPacing::ReadDeadline()));
  EXPECT_EQ(events.statuses.back(), "Send AT Command Fail !");
  EXPECT_EQ(events.popups.back().message, "Send AT Command Fail !");
  // Four lines an attempt, none thrown away by the next. The simulator takes
  // the last of them on its own thread, possibly after the operation ended.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (CountReceived("AT+CSCLK=0") < 120 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  EXPECT_EQ(CountReceived("AT+CSCLK=0"), 120);
  EXPECT_FALSE(ReceivedLine("AT+RVSRI?"));
  // The reason says what was tried and what to look at.
  EXPECT_EQ(events.result.detail, WakeUpUnansweredReason(21));
  EXPECT_EQ(events.statusDetail, events.result.detail);
  EXPECT_NE(events.result.detail.find("30 wake-up attempts in 24 s"), std::string::npos);
  EXPECT_NE(events.result.detail.find("COM21"), std::string::npos);
}

TEST_F(DriverTest, FencesFilledToTheirLimitsReadBack) {
  CFormValues& v = model.values;
  for (int n = 0; n < 4; ++n) {
    v.Number(FenceBox[n]) = 1;
    v.Text(Longitude[n]) = "-121.123456789012345";
    v.Text(Latitude[n]) = "25.1234567890123456";
    v.Text(Radius[n]) = "1234567890";
    v.Text(CheckInterval[n]) = "99";
    v.Number(FenceType[n]) = 2;
  }
  Send(Only(Group::Geo));
  ASSERT_EQ(events.statuses.back(), "Send AT Command Success .");
  const CFormValues sent = model.values;
  model = CFormModel();
  Read(Only(Group::Geo));
  ASSERT_EQ(events.statuses.back(), "Read AT Command Success .");
  const CFormModel& fresh = model;
  for (int n = 0; n < 4; ++n) {
    EXPECT_EQ(fresh.values.Text(Longitude[n]), sent.Text(Longitude[n]));
    EXPECT_EQ(fresh.values.Text(Radius[n]), sent.Text(Radius[n]));
  }
}

// ---- Faults at the edges -----------------------------------------------------

TEST_F(DriverTest, CapPopupDuringASendRefreshIsReportedBeforeTheLine) {
  model.values.Number(ReportMode) = 0;
  model.values.Text(Apn) = std::string(41, 'a');
  Send(Only(Group::Sri));
  ASSERT_EQ(events.statuses.back(), "Send AT Command Success .");
  ASSERT_FALSE(events.popups.empty());
  EXPECT_EQ(events.popups.front().message, "Error, APN > 40 Byte");
  ASSERT_EQ(events.history.size(), 1u);
  EXPECT_NE(events.history[0].find("," + std::string(40, 'a') + ","), std::string::npos);
  EXPECT_EQ(events.history[0].find(std::string(41, 'a')), std::string::npos);
}

TEST_F(DriverTest, LineOverTheLimitIsRefusedNotListedAndNotSent) {
  model.SetPassword("123456789012345");
  for (int p = 0; p < 10; ++p) model.values.Text(WhiteNumber[p]) = std::string(20, '7');
  model.values.Number(MobileEnd) = 9;
  Send(Only(Group::Wlt));
  ASSERT_GT(model.values.Text(WltPreview).size(), CComPort::kMaxLine);
  EXPECT_EQ(events.statuses.back(), "Send AT+RVWLT Fail !");
  EXPECT_NE(std::find(events.statuses.begin(), events.statuses.end(), "Error, Command Line > 254 Byte"),
            events.statuses.end());
  EXPECT_EQ(events.popups.back().message, "Error, Command Line > 254 Byte");
  EXPECT_TRUE(events.history.empty());
  EXPECT_EQ(events.result.outcome, Outcome::TrackerFailed);
  EXPECT_FALSE(events.statusDetail.empty());
  for (const auto& line : Received()) EXPECT_NE(line.rfind("AT+RVWLT", 0), 0u);
  EXPECT_NE(ReadFile(dir / "AtLog.log").find("[not sent: longer than 254 characters]"), std::string::npos);
  EXPECT_TRUE(PortIsFree());
}

// ---- Control bytes ------------------------------------------------------------

TEST_F(DriverTest, ExchangeRefusesALineWithAControlByteWholeAndPassesHighBytes) {
  struct Row {
    std::string line;
    const char* refusedFor;  // the byte's name, or null when the line goes out
  };
  const Row rows[] = {
      {"AT+RVPIN=5830,1,1,12\r34", "CR"},
      {"AT+RVPIN=5830,1,1,12\n34", "LF"},
      {"AT+RVPIN=5830,1,1,12\0"s
       "34",
       "NUL"},
      {"AT+RVPIN=5830,1,1,\x1B[2J", "ESC"},
      {"AT+RVPIN=5830,1,1,12\x7F", "DEL"},
      {"\x01"
       "AT+RVPIN=5830,1,1,12",
       "0x01"},
      {"AT+RVPIN=5830,1,1,\x80\xFF", nullptr},
      {"AT", nullptr},
  };
  CComPort port({.number = portNumber, .discovery = Discovery()});
  ASSERT_TRUE(port.Open());
  sim_->SetAsleep(false);
  CTrafficLog log;
  log.SetPath(dir / "AtLog.log");
  const std::atomic<bool> stop{false};
  CAtExchange exchange(port, events, log, pacing, stop);
  std::vector<std::string> sent;
  long long bytes = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(ShowControlBytes(row.line));
    const bool ok = exchange.ExchangeCommand(row.line);
    if (!row.refusedFor) {
      sent.push_back(row.line);
      bytes += static_cast<long long>(row.line.size()) + 1;
      continue;
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(events.statuses.back(), "Error, Command Line Holds A Control Byte");
    EXPECT_EQ(events.popups.back().message, "Error, Command Line Holds A Control Byte");
    EXPECT_NE(ReadFile(dir / "AtLog.log")
                  .find("[not sent: holds a control byte (" + std::string(row.refusedFor) + ")]"),
              std::string::npos);
  }
  port.Close();
  // The last line was answered, so everything written before it has arrived.
  EXPECT_EQ(Received(), sent);
  EXPECT_EQ(sim_->BytesReceived(), bytes);
  EXPECT_EQ(events.history, sent);
}

TEST_F(DriverTest, AValueWithACarriageReturnNeverBecomesASecondCommand) {
  // A form value with a CR breaks its field's rule and gives no line at all;
  // the password is the way one still reaches the port's guard.
  model.values.Number(ReportMode) = 0;
  model.SetPassword("5830\rAT+RVPIN=5830,1,1,0000");
  Send(Only(Group::Sri));
  EXPECT_EQ(events.statuses.back(), "Send AT+RVSRI Fail !");
  EXPECT_EQ(events.result.outcome, Outcome::TrackerFailed);
  EXPECT_NE(events.result.detail.find("control byte (CR) at character"), std::string::npos)
      << events.result.detail;
  EXPECT_EQ(events.statusDetail, events.result.detail);
  EXPECT_TRUE(events.history.empty());
  // Only the whole bracketing commands reached the tracker.
  for (const auto& line : Received()) EXPECT_TRUE(line == "AT+CSCLK=0" || line == "AT+WCSL=1") << line;
  const std::string traffic = ReadFile(dir / "AtLog.log");
  EXPECT_NE(traffic.find("5830<CR>AT+RVPIN=5830,1,1,0000"), std::string::npos);
}

TEST_F(DriverTest, ControlBytesInAReplyValueAreDroppedWithANoteAndTheReadSucceeds) {
  sim_->WithState([](sim::CTrackerState& s) {
    s.ApplySetting(
        "AT+RVKPN=5830,2,1,1,555\0"s
        "1234,,BO\x1BOK\x7F"
        "ER,20110101000000");
  });
  Read(Only(Group::Kpn));
  ASSERT_EQ(events.statuses.back(), "Read AT Command Success .");
  EXPECT_EQ(model.values.Text(PhoneNumber[2]), "5551234");
  EXPECT_EQ(model.values.Text(PhoneName[2]), "BOOKER");
  EXPECT_EQ(events.lastReading.kpn.phoneName[2], "BOOKER");  // the record the window takes
  std::vector<std::string> notes;
  for (const PopupRequest& popup : events.popups)
    if (popup.iconKind == kIconFailure) notes.push_back(popup.message);
  EXPECT_EQ(notes, (std::vector<std::string>{ControlBytesDroppedNote("[RVKPN] PhoneNum2", {"NUL"}),
                                             ControlBytesDroppedNote("[RVKPN] PhoneName2", {"ESC", "DEL"})}));
  EXPECT_EQ(events.popups.back().message, "Read Setting Success .");
}

TEST_F(DriverTest, GroupWithoutALineTouchesNoPort) {
  model.values.Number(ReportMode) = -1;  // no mode, no earlier line
  Send(Only(Group::Sri));
  ASSERT_EQ(events.popups.size(), 1u);
  EXPECT_EQ(events.popups[0].message, "No Command Line To Send !");
  EXPECT_EQ(events.result.outcome, Outcome::NothingToSend);
  EXPECT_TRUE(Received().empty());
  EXPECT_TRUE(events.history.empty());

  // Send All stops there too, before anything goes out.
  model.values.Number(SriEnable) = model.values.Number(PinEnable) = 1;
  SendAll();
  EXPECT_EQ(events.popups.back().message, "No Command Line To Send !");
  EXPECT_TRUE(Received().empty());
}

TEST_F(DriverTest, VanishedPortEndsTheReadWithTheSystemReason) {
  sim_->SetFault("AT+RVBEI?", sim::Fault::Vanish);
  GroupSelection all;
  all.fill(true);
  Read(all);
  EXPECT_EQ(events.groupsRead, std::vector<Group>{Group::Sri});
  EXPECT_EQ(events.statuses.back(), "Read AT+RVBEI Fail !");
  EXPECT_EQ(events.popups.back().message, "No Response !");
  EXPECT_EQ(events.result.outcome, Outcome::TrackerFailed);
  EXPECT_NE(events.statusDetail.find("gone away"), std::string::npos) << events.statusDetail;
}

TEST_F(DriverTest, VanishedPortDuringASendMarksTheLineNotSent) {
  model.values.Number(ReportMode) = 0;
  model.values.Text(Pin) = "1234";
  sim_->SetFault("AT+RVSRI=", sim::Fault::Vanish);
  Send([] {
    GroupSelection s{};
    s[static_cast<int>(Group::Sri)] = s[static_cast<int>(Group::Pin)] = true;
    return s;
  }());
  EXPECT_EQ(events.statuses.back(), "Send AT+RVSRI Fail !");
  EXPECT_EQ(events.result.outcome, Outcome::TrackerFailed);
  EXPECT_FALSE(events.statusDetail.empty());
  EXPECT_EQ(events.history.size(), 1u);  // the PIN line was never tried
}

TEST_F(DriverTest, StopEndsTheOperationAtItsNextStepAndClosesThePort) {
  sim_->SetFault("AT+RVSRI?", sim::Fault::Silent);
  GroupSelection all;
  all.fill(true);
  ASSERT_TRUE(engine.Start(Plan(OperationKind::Read, all)));
  EXPECT_FALSE(engine.Start(OperationPlan{}));  // one operation at a time
  engine.Stop();
  ASSERT_TRUE(events.WaitFinished());
  engine.Wait();
  EXPECT_FALSE(engine.Running());
  EXPECT_EQ(events.result.outcome, Outcome::Stopped);
  EXPECT_FALSE(ReceivedLine("AT+RVBEI?"));
  EXPECT_TRUE(PortIsFree());
}

TEST_F(DriverTest, DestroyingARunningEngineStopsAndJoinsIt) {
  sim_->SetFault("AT+RVSRI?", sim::Fault::Silent);
  auto running = std::make_unique<CDeviceEngine>(events);
  GroupSelection all;
  all.fill(true);
  ASSERT_TRUE(running->Start(Plan(OperationKind::Read, all)));
  running.reset();
  EXPECT_EQ(events.finished, 1);
  EXPECT_TRUE(PortIsFree());
}

TEST_F(DriverTest, FastPacingTakesNoLateBurstReplyForTheNextAnswer) {
  // Each line answered 30 ms late: the replies to the wake-up burst trickle in
  // after the first "OK" and must not be read as the answer to ATI or a query.
  sim_->SetAnswerDelay(30);
  Read(Only(Group::Pin));
  ASSERT_EQ(events.statuses.back(), "Read AT Command Success .");
  EXPECT_EQ(events.version, "[Revision:1418B05SIM900M32] [SubEdition:KESTRUN_SIM_2.25]");
  const std::string traffic = ReadFile(dir / "AtLog.log");
  const std::size_t query = traffic.find("--> AT+RVPIN?");
  ASSERT_NE(query, std::string::npos);
  const std::size_t closing = traffic.find("--> AT+CSCLK=1", query);
  ASSERT_NE(closing, std::string::npos);
  EXPECT_EQ(traffic.substr(query, closing - query).find("CSCLK"), std::string::npos);  // nothing stale
}

TEST_F(DriverTest, FastPacingTakesNoLateBurstAnswerForTheLinkLinesOwn) {
  // Answers 150 ms apart, longer than the shortest quiet wait after a burst:
  // a late "OK" to the burst must not pass for the answer to AT+WCSL=1, which
  // the tracker refuses.
  sim_->SetAnswerDelay(150);
  sim_->SetFault("AT+WCSL=1", sim::Fault::Error);
  Send(Only(Group::Pin));
  EXPECT_EQ(events.statuses.back(), "Send AT Command Fail !");
  for (const auto& line : Received()) EXPECT_NE(line.rfind("AT+RVPIN=", 0), 0u);
}

// A front end's say right after the identity queries of a Send: a declined
// tracker gets no settings line and its wake-up is closed; an accepted one
// gets the values the front end set.
TEST_F(DriverTest, AfterIdentifyDeclinesOrSetsTheTrackersOwnValues) {
  struct Case {
    const char* name;
    bool accept;
    Outcome outcome;
    const char* pinValue;     // what the PIN line sent carries, or null for no line
    const char* templatePin;  // before the hook: one that builds no line is no failure yet
  };
  const Case cases[] = {
      {"declined", false, Outcome::Declined, nullptr, "1234"},
      {"accepted with its own PIN", true, Outcome::Success, ",4321,", "1234"},
      {"its own PIN mends the template's", true, Outcome::Success, ",4321,", "12a4"},
  };
  model.values.Number(PinCheck) = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    model.values.Text(Pin) = c.templatePin;
    sim_->ClearReceived();
    std::string imeiSeen;
    OperationPlan plan = Plan(OperationKind::Send, Only(Group::Pin));
    plan.identify = true;
    plan.afterIdentify = [&](const TrackerIdentity& id, CFormModel& form, OperationResult& declined) {
      imeiSeen = id.imei;
      form.values.Text(Pin) = "4321";
      declined.message = "no row";
      return c.accept;
    };
    const int before = events.finished;
    ASSERT_TRUE(engine.Start(std::move(plan)));
    ASSERT_TRUE(events.WaitFinished(before + 1));
    engine.Wait();
    EXPECT_EQ(engine.LastResult().outcome, c.outcome);
    EXPECT_EQ(imeiSeen, sim::SimImei(ComNumber()));
    const std::vector<std::string> lines = Received();
    const auto pin = std::find_if(lines.begin(), lines.end(),
                                  [](const std::string& l) { return l.rfind("AT+RVPIN=", 0) == 0; });
    if (c.pinValue) {
      ASSERT_NE(pin, lines.end());
      EXPECT_NE(pin->find(c.pinValue), std::string::npos) << *pin;
    } else {
      EXPECT_EQ(pin, lines.end());
      EXPECT_FALSE(ReceivedLine("AT+WCSL=1"));
      EXPECT_EQ(engine.LastResult().message, "no row");
    }
    // The wake-up is closed either way, after the identity queries.
    const auto identity = std::find(lines.begin(), lines.end(), "AT+CSQ");
    ASSERT_NE(identity, lines.end());
    EXPECT_NE(std::find(identity, lines.end(), "AT+CSCLK=1"), lines.end());
    EXPECT_TRUE(PortIsFree());
  }
}
