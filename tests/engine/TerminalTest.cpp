// The terminal exchange: a typed line and its reply reach the traffic log and
// the reply events, on the engine's worker against the simulator.
#include <gtest/gtest.h>

#include <functional>

#include "../support/RecordingEvents.h"
#include "../support/SimSupport.h"
#include "../support/VirtualClock.h"
#include "engine/DeviceEngine.h"
#include "engine/TerminalExchange.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

class TerminalTest : public SimulatorTest {
 protected:
  TerminalTest() : SimulatorTest(23) {}
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(TerminalReply, FinalResultLines) {
  const struct {
    const char* reply;
    const char* sent;
    bool final;
  } rows[] = {
      {"AT+CSQ\r\r\n+CSQ: 21,0\r\n\r\nOK\r\n", "AT+CSQ", true},
      {"AT+X\r\r\nERROR\r\n", "AT+X", true},
      {"AT+CPIN?\r\r\n+CME ERROR: 10\r\n", "AT+CPIN?", true},
      {"AT+CMGS=1\r\r\n+CMS ERROR: 500\n", "AT+CMGS=1", true},
      {"AT\r\r\nOK", "AT", false},                        // the line is not whole yet
      {"OK\r", "OK", false},                              // the echo of what was typed
      {"AT+CMGS=\"1\"\r\r\n> ", "AT+CMGS=\"1\"", false},  // a prompt
      {"AT+X\r\r\nOKAY\r\n", "AT+X", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.reply);
    EXPECT_EQ(HoldsFinalResult(row.reply, row.sent), row.final);
  }
}

TEST_F(TerminalTest, TypedLineAndItsReplyReachTheLogAndTheEvents) {
  struct Row {
    const char* name;
    std::string text;
    bool carriageReturn;
    bool wakeFirst;
    bool silent;           // the simulator answers nothing
    const char* reply;     // in the reply events and the log
    const char* logged;    // the sent line as the log shows it
    const char* status;    // how the reply ended, when not on a final result
    const char* lastLine;  // the last line the simulator took; empty: none
  };
  const Row rows[] = {
      {"woken, ends on OK, closes", "AT+CSQ", true, true, false, "+CSQ: 21,0", "--> AT+CSQ", "",
       "AT+CSCLK=1"},
      {"awake, ends on ERROR", "AT+NOPE", true, false, false, "ERROR", "--> AT+NOPE", "", "AT+NOPE"},
      {"woken, quiet, left awake", "AT+CMGS=\"5551234\"", true, true, true, "", "--> AT+CMGS=\"5551234\"",
       "No reply (1 s of quiet). The tracker is left awake.", "AT+CMGS=\"5551234\""},
      {"Ctrl+Z alone", "\x1A", false, false, true, "", "--> <0x1A>", "No reply (1 s of quiet).", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sim_->ClearFaults();
    sim_->ClearReceived();
    sim_->SetAsleep(row.wakeFirst);
    if (row.silent) sim_->SetFault(row.text, sim::Fault::Silent);
    const long long before = sim_->BytesReceived();
    // Once the line is out, a silent simulator answers nothing more: the
    // quiet passes at once.
    CSilenceClock clock([&] {
      const auto lines = sim_->ReceivedLines();
      const bool out = row.carriageReturn ? std::count(lines.begin(), lines.end(), row.text) > 0
                                          : sim_->BytesReceived() > before;
      return row.silent && out;
    });
    const std::string log = dir / (std::string("AtLog-") + std::to_string(&row - rows) + ".log");
    CRecordingEvents events;
    CDeviceEngine engine(events);
    OperationPlan plan;
    plan.kind = OperationKind::Terminal;
    plan.terminal = {row.text, row.wakeFirst, row.carriageReturn};
    plan.port = {ComNumber(), 115200, Discovery()};
    plan.logPath = log;
    plan.pacing = CPacing::Fast();
    plan.clock = &clock;
    ASSERT_TRUE(engine.Start(plan));
    ASSERT_TRUE(events.WaitFinished());
    engine.Wait();

    EXPECT_TRUE(events.result.ok()) << events.result.message;
    EXPECT_TRUE(Has(events.terminalReply, row.reply)) << events.terminalReply;
    const std::string traffic = ReadFile(log);
    EXPECT_TRUE(Has(traffic, row.logged)) << traffic;
    EXPECT_TRUE(Has(traffic, row.reply)) << traffic;
    EXPECT_EQ(events.statuses.back(), row.status);
    const auto lines = sim_->ReceivedLines();
    EXPECT_EQ(lines.empty() ? "" : lines.back(), row.lastLine);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "AT+CSCLK=0") > 0, row.wakeFirst);
    EXPECT_TRUE(PortIsFree());
  }
}
