#include <gtest/gtest.h>

#include "../support/TestSupport.h"
#include "port/ComPort.h"
#include "protocol/Fields.h"
#include "protocol/Groups.h"
#include "protocol/ReplyRules.h"
#include "sim/TrackerSim.h"
#include "sim/TrackerState.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

class SimTest : public ::testing::Test {
 protected:
  void Start(bool asleep = false, std::string stateFile = {}) {
    sim::SimOptions options;
    options.portsDir = dir / "ports";
    options.startAsleep = asleep;
    options.stateFile = std::move(stateFile);
    options.splitPauseMs = 700;
    options.longReplyBytes = 1500;
    sim_ = std::make_unique<sim::CTrackerSim>(options);
    std::string error;
    ASSERT_TRUE(sim_->Start(error)) << error;
    port.SetSettings({sim_->comNumber(), 115200, {dir / "none", "/dev", dir / "ports"}});
    ASSERT_TRUE(port.Open()) << port.openFailureReason();
  }
  // The answer to `line`: the read ends once an OK or ERROR line has come
  // whole, or after the port's 600 ms when none comes.
  std::string Ask(const std::string& line, std::size_t max = 900) {
    std::string reply;
    port.SendAndRead(line, reply, max,
                     [](const std::string& r) { return r.back() == '\n' && ReplyEnded(r); });
    return reply;
  }
  int FieldCount(const std::string& reply, const std::string& tag) {
    std::string body;
    if (!ExtractReplyBody(reply, tag, body)) return -1;
    std::string slots[40];
    int count = 0;
    SplitFields(body, slots, 40, count);
    return count;
  }

  TempDir dir;
  std::unique_ptr<sim::CTrackerSim> sim_;
  CComPort port;
};

}  // namespace

TEST_F(SimTest, RegistersTheFirstFreeNumberFrom200) {
  Start();
  EXPECT_EQ(sim_->comNumber(), 200);
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "ports/com200"));
  sim_->Stop();
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "ports/com200")));
}

TEST_F(SimTest, ANumberInUseIsRefusedAndADeadOneReplaced) {
  Start();
  sim::SimOptions same;
  same.portsDir = dir / "ports";
  same.comNumber = 200;
  sim::CTrackerSim second(same);
  std::string error;
  EXPECT_FALSE(second.Start(error));
  EXPECT_EQ(error.rfind("COM200 is taken: ", 0), 0u) << error;
  EXPECT_TRUE(std::filesystem::exists(dir / "ports/com200"));  // the first keeps its number
  EXPECT_TRUE(port.WriteLine("AT"));

  std::filesystem::remove(dir / "ports/com201");
  std::filesystem::create_symlink(dir / "gone", dir / "ports/com201");  // left by a killed one
  same.comNumber = 201;
  sim::CTrackerSim third(same);
  ASSERT_TRUE(third.Start(error)) << error;
  EXPECT_EQ(std::filesystem::read_symlink(dir / "ports/com201"), third.slavePath());
  third.Stop();
}

// The simulator keeps its own field counts; here they are held against the
// tool's group table, replies on the wire and settings lines alike.
TEST_F(SimTest, FieldCountsAgreeWithTheGroupTable) {
  Start();
  for (const GroupInfo& info : AllGroups()) {
    const std::string group = info.name;
    std::vector<std::string> line(static_cast<std::size_t>(info.lineFields));
    line[1] = "1", line[2] = "10";  // a white list's whole range
    EXPECT_EQ(sim::ExpectedSettingFields(group, line), info.lineFields) << group;
    EXPECT_EQ(sim::ReplyFieldCount(group), info.replyFields) << group;
    if (info.replyFields == 0) continue;
    const std::string reply = Ask("AT+RV" + group + "?");
    EXPECT_EQ(reply.rfind("AT+RV" + group + "?\r", 0), 0u) << "echo first: " << reply;
    EXPECT_EQ(FieldCount(reply, "RV" + group + ":"), info.replyFields) << reply;
  }
  EXPECT_NE(Ask("AT+RVRTO?").find("ERROR"), std::string::npos);
  EXPECT_NE(Ask("ATI").find("Revision:"), std::string::npos);
  EXPECT_NE(Ask("at+csub").find("SubEdition:"), std::string::npos);
}

TEST_F(SimTest, SettingsAreCheckedAndReadBack) {
  Start();
  EXPECT_NE(Ask("AT+RVTRI=5830,0100,0200,3,4,20110101000000").find("\r\nOK\r\n"), std::string::npos);
  EXPECT_NE(Ask("AT+RVTRI?").find("+RVTRI:5830,0100,0200,3,4\r\n"), std::string::npos);
  EXPECT_NE(Ask("AT+RVTRI=5830,0100,0200,3,20110101000000").find("ERROR"), std::string::npos);    // 5 fields
  EXPECT_NE(Ask("AT+RVTRI=1111,0100,0200,3,4,20110101000000").find("ERROR"), std::string::npos);  // password
  EXPECT_NE(Ask("AT+RVWLT=5830,3,4,333,444,1,0,,,20110101000000").find("OK"), std::string::npos);
  EXPECT_NE(Ask("AT+RVWLT?").find("+RVWLT:,,333,444,,,,,,,1,0"), std::string::npos);
  EXPECT_NE(Ask("AT+RVRTO=5830,A,20110101000000").find("OK"), std::string::npos);
  EXPECT_NE(Ask("AT+RVRTO=5830,9,20110101000000").find("ERROR"), std::string::npos);
}

TEST_F(SimTest, SleepingTrackerWakesOnTheFirstLineOnly) {
  Start(true);
  EXPECT_EQ(Ask("AT"), "");
  EXPECT_NE(Ask("AT").find("OK"), std::string::npos);
  EXPECT_NE(Ask("AT+CSCLK=1").find("OK"), std::string::npos);
  EXPECT_TRUE(sim_->asleep());
}

TEST_F(SimTest, FaultsApplyPerCommandAndCount) {
  Start();
  sim_->SetFault("AT+RVPIN?", sim::Fault::Silent, 1);
  EXPECT_EQ(Ask("AT+RVPIN?"), "");
  EXPECT_NE(Ask("AT+RVPIN?").find("OK"), std::string::npos);
  sim_->SetFault("AT+RVBEI?", sim::Fault::NoOk, 1);
  const std::string noOk = Ask("AT+RVBEI?");
  EXPECT_NE(noOk.find("+RVBEI:"), std::string::npos);
  EXPECT_EQ(FindClosingOk(noOk), std::string::npos);
  sim_->SetFault("AT+RVTRI=", sim::Fault::Error, 1);
  EXPECT_NE(
      Ask("AT+RVTRI=5830,1,2,3,4,20110101000000").find("AT+RVTRI=5830,1,2,3,4,20110101000000\r\r\nERROR"),
      std::string::npos);
  sim_->SetFault("AT+RVSRI?", sim::Fault::OkBeforeTag, 1);
  std::string body;
  EXPECT_FALSE(ExtractReplyBody(Ask("AT+RVSRI?"), "RVSRI:", body));
  sim_->SetFault("AT+RVSRI?", sim::Fault::Garbage, 1);
  EXPECT_EQ(Ask("AT+RVSRI?").find("RVSRI:"), std::string::npos);
}

TEST_F(SimTest, SplitAndLongReplies) {
  Start();
  sim_->SetFault("AT", sim::Fault::Split, 1);
  const std::string first = Ask("AT");
  EXPECT_EQ(first, "AT\r");
  std::string second;
  port.ReadReply(second, 100);
  EXPECT_EQ(second, "\r\nOK\r\n");
  sim_->SetFault("AT+RVKPN?", sim::Fault::LongReply, 1);
  port.WriteLine("AT+RVKPN?");
  std::string text;
  EXPECT_TRUE(port.ReadUntilQuiet(text, 1024));
  EXPECT_GT(text.size(), 1024u);  // stopped past the limit
  EXPECT_LE(text.size(), 1280u);
}

TEST_F(SimTest, VanishingDeviceFailsTheRead) {
  Start();
  sim_->SetFault("AT", sim::Fault::Vanish, 1);
  port.WriteLine("AT");
  std::string reply;
  EXPECT_EQ(port.ReadReply(reply, 100).status, PortCallStatus::SystemError);
  // Gone from the ports folder, as an unplugged adapter's device node.
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "ports/com200")));
}

TEST_F(SimTest, StateFileKeepsTheTrackerBetweenRuns) {
  const std::string state = dir / "tracker.state";
  Start(false, state);
  Ask("AT+RVPIN=5830,1,4321,1,,,,,20110101000000");
  port.Close();
  sim_->Stop();
  ASSERT_NE(ReadFile(state).find("PIN=1,4321,1"), std::string::npos);
  Start(false, state);
  EXPECT_NE(Ask("AT+RVPIN?").find("+RVPIN:1,4321,1"), std::string::npos);
}
