// The pacing, wait for wait, on a virtual clock against a device that has
// answered each line by the time it is written: every wait the exchange makes
// is then one it chose (a pause, or a read run to its deadline), none can cut
// an answer short, and the time they add up to is exact.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <set>

#include "../support/RecordingEvents.h"
#include "../support/TestSupport.h"
#include "../support/VirtualClock.h"
#include "engine/AtExchange.h"
#include "engine/GroupOperations.h"
#include "engine/TrafficLog.h"
#include "port/ComPort.h"
#include "sim/TrackerState.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

using Ms = std::chrono::milliseconds;

// A port on a pseudo-terminal whose other end answers as the simulator does,
// before WriteLine returns: a sleeping tracker wakes on its first line without
// an answer; then each line is echoed, queries are answered from a tracker's
// state, the lines in `refused` with ERROR and all others with OK.
class CAnsweringPort : public CComPort {
 public:
  explicit CAnsweringPort(const TempDir& dir)
      : CComPort({kNumber, 115200, {dir / "no-sysfs", "/dev", dir.path()}}), pty_(dir.path(), kNumber) {}
  PortResult WriteLine(const std::string& text, bool purgeFirst) override {
    if (PortResult written = CComPort::WriteLine(text, purgeFirst); !written) return written;
    lines.push_back(text);
    const std::string answer = Answer(text);
    int waiting = 0;
    ::ioctl(handle(), FIONREAD, &waiting);
    pty_.Write(answer);
    EXPECT_TRUE(WaitForInput(handle(), waiting + static_cast<int>(answer.size())));
    return PortResult::Ok();
  }

  std::vector<std::string> lines;  // every line written, in order
  std::set<std::string> refused;
  bool asleep = true;  // the next line only wakes the tracker

 private:
  static constexpr int kNumber = 7;
  std::string Answer(const std::string& line) {
    if (asleep) {
      asleep = false;
      return "";
    }
    std::string answer = "\r\nOK\r\n";
    if (refused.count(line)) {
      answer = "\r\nERROR\r\n";
    } else if (line == "ATI") {
      answer = "\r\nRevision:1418B05SIM900M32\r\n" + answer;
    } else if (line == "at+csub") {
      answer = "\r\nSubEdition:KESTRUN_SIM_2.25\r\n" + answer;
    } else if (line.size() == 9 && line.rfind("AT+RV", 0) == 0 && line.back() == '?') {
      const std::string group = line.substr(5, 3);
      answer = "\r\n+RV" + group + ":" + state_.ReplyBody(group) + "\r\n" + answer;
    }
    return line + "\r" + answer;
  }

  RawPty pty_;
  sim::CTrackerState state_;
};

class PacingTest : public ::testing::Test {
 protected:
  PacingTest() {
    model.SetPassword("5830");
    port.SetClock(clock);
  }
  // One operation, with the port set up as the engine sets it.
  OperationResult Run(CPacing pacing, bool send, GroupSelection selection) {
    port.SetPurgeDiscardsOutput(!pacing.EndsOnEvent());
    CTrafficLog log;
    log.SetPath(dir / "AtLog.log");
    const std::atomic<bool> stop{false};
    CAtExchange exchange(port, events, log, pacing, stop);
    CGroupOperations operations(exchange, model, events);
    return send ? operations.SendGroups(selection) : operations.ReadGroups(selection);
  }

  TempDir dir;
  CAnsweringPort port{dir};
  CVirtualClock clock;
  CFormModel model;
  CRecordingEvents events;
};

GroupSelection Of(std::initializer_list<Group> groups) {
  GroupSelection s{};
  for (Group group : groups) s[static_cast<int>(group)] = true;
  return s;
}

}  // namespace

TEST_F(PacingTest, SpecifiedAndFastPacingSendTheSameLinesAndOnlyTheSpecifiedWaits) {
  const GroupSelection s = Of({Group::Pin, Group::Tri});
  ASSERT_EQ(Run(CPacing::Specified(), false, s).outcome, Outcome::Success) << events.statuses.back();
  const std::vector<std::string> specifiedLines = port.lines;
  // The wake-up poll (200 + 600 ms), ATI and at+csub (600 ms each), two
  // queries (600 ms each), the closing poll (800 ms) and 100 ms after each of
  // the eight logged lines.
  EXPECT_EQ(clock.Elapsed(), Ms(4800));
  EXPECT_EQ(events.version, "[Revision:1418B05SIM900M32] [SubEdition:KESTRUN_SIM_2.25]");

  port.lines.clear();
  port.asleep = true;
  const Ms specified = clock.Elapsed();
  ASSERT_EQ(Run(CPacing::Fast(), false, s).outcome, Outcome::Success) << events.statuses.back();
  EXPECT_EQ(port.lines, specifiedLines);
  // Fast waits only for the quiet after the burst that woke the tracker: its
  // first line went unanswered.
  EXPECT_EQ(clock.Elapsed() - specified, CPacing::Fast().BurstSettle());
  std::vector<std::string> expected(4, "AT+CSCLK=0");
  expected.insert(expected.end(), {"ATI", "at+csub", "AT+RVTRI?", "AT+RVPIN?"});
  expected.insert(expected.end(), 4, "AT+CSCLK=1");
  EXPECT_EQ(specifiedLines, expected);
}

TEST_F(PacingTest, ThePollsOfAnUnansweredLineAreAllInTheTrafficLog) {
  // The specified pacing polls AT+WCSL=1 three times for its "OK"; the
  // "ERROR" of the first poll stays in the log after two empty ones.
  port.refused = {"AT+WCSL=1"};
  EXPECT_EQ(Run(CPacing::Specified(), true, Of({Group::Pin})).outcome, Outcome::TrackerFailed);
  EXPECT_EQ(events.statuses.back(), "Send AT Command Fail !");
  EXPECT_EQ(std::count(port.lines.begin(), port.lines.end(), "AT+WCSL=1"), 1);  // polled, not sent again
  const std::string traffic = ReadFile(dir / "AtLog.log");
  const std::size_t line = traffic.find("--> AT+WCSL=1");
  ASSERT_NE(line, std::string::npos);
  EXPECT_NE(traffic.find("ERROR", line), std::string::npos) << traffic.substr(line);
  // The wake-up bracket (1 s, as in a read), then between the line's two
  // logged lines three polls of a 200 ms pause and a read: the first read
  // ends at its byte count (the echo and the ERROR fill it), the other two
  // wait out their 600 ms.
  EXPECT_EQ(clock.Elapsed(), Ms(1000) + Ms(100) + 3 * Ms(200) + 2 * Ms(600) + Ms(100));
}
