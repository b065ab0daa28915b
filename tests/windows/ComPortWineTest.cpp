// The Windows port layer and the device engine against simulators that a
// Linux harness links in as COM ports (scripts/windows/test-wine.sh): their
// numbers come in KESTRUN_WINE_COMS, e.g. "7,8".
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "../support/RecordingEvents.h"
#include "cmdline/WholeNumber.h"
#include "engine/DeviceEngine.h"
#include "port/ComPort.h"
#include "port/PortDiscovery.h"
#include "protocol/Groups.h"
#include "protocol/Identity.h"

using namespace kestrun;

namespace {

constexpr int kUnlinkedPort = 250;  // no harness links this number

std::vector<int> HarnessPorts() {
  const char* text = std::getenv("KESTRUN_WINE_COMS");
  std::vector<int> ports;
  if (!text || !ParseWholeNumbers(text, 1, 255, ports)) ports.clear();
  return ports;
}

class WineComTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ports = HarnessPorts();
    ASSERT_GE(ports.size(), 2u) << "KESTRUN_WINE_COMS names the harness's COM ports (test-wine.sh)";
  }
  std::vector<int> ports;
};

std::string Exchange(CComPort& port, const std::string& line) {
  std::string reply;
  CComPort::PollPlan plan;
  plan.maxBytes = 512;
  plan.polls = 3;
  plan.endOnToken = true;
  const PortResult result = port.SendAndWaitFor(line, reply, plan);
  EXPECT_TRUE(result) << line << ": " << reply << " " << result.reason;
  return reply;
}

// The device names a user copies from Windows' own tools name their port; the
// rest are not a COM port of this form.
TEST(WineComNames, DeviceNamesGiveTheirComNumber) {
  const struct {
    const char* name;
    int number;
  } cases[] = {
      {"\\\\.\\COM12", 12}, {"\\\\.\\com5", 5},   {"\\\\.\\COM255", 255}, {"\\\\.\\COM", 0},
      {"\\\\.\\COM1x", 0},  {"\\\\?\\COM3", 0},   {"COM12", 0},             {"\\\\.\\LPT1", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ComNumberOfDevice(c.name), c.number) << c.name;
  // The example the messages show is such a name.
  EXPECT_GT(ComNumberOfDevice(kDeviceExample), 0);
}

TEST_F(WineComTest, DiscoveryListsTheRegisteredPortsWithTheirOpenNames) {
  std::set<int> listed;
  for (const PortEntry& entry : DiscoverPorts()) {
    listed.insert(entry.number);
    EXPECT_EQ(entry.openPath, "\\\\.\\COM" + std::to_string(entry.number));
    EXPECT_NE(entry.devicePath.find("COM" + std::to_string(entry.number)), std::string::npos)
        << entry.devicePath;
  }
  for (int number : ports) EXPECT_TRUE(listed.count(number)) << "COM" << number;
}

TEST_F(WineComTest, EachSpeedOpensAndExchangesTheIdentityQueries) {
  std::set<std::string> imeis;
  for (int number : ports) {
    for (int baud : {57600, 115200, 230400, 460800, 921600}) {
      SCOPED_TRACE("COM" + std::to_string(number) + " at " + std::to_string(baud));
      CComPort port({number, baud, {}});
      const PortResult opened = port.Open();
      ASSERT_TRUE(opened) << port.openFailureReason();
      EXPECT_NE(Exchange(port, "AT").find("OK"), std::string::npos);
      EXPECT_NE(Exchange(port, "ATI").find("OK"), std::string::npos);
      std::string imei;
      bool valid = false;
      EXPECT_TRUE(ParseImei(Exchange(port, "AT+CGSN"), imei, valid));
      EXPECT_TRUE(valid) << imei;
      imeis.insert(imei);
    }
  }
  EXPECT_EQ(imeis.size(), ports.size());  // one tracker behind each port, none crossed
}

// A held port (ERROR_ACCESS_DENIED) is not among them: Wine opens a COM
// port twice, whatever the share mode.
TEST_F(WineComTest, OpenFailuresSayWhatWindowsSaid) {
  const struct {
    int number;
    int error;
    const char* words;
  } cases[] = {
      {kUnlinkedPort, ENOENT, "Check that the tracker's cable is plugged in"},
  };
  for (const auto& c : cases) {
    CComPort port({c.number, 115200, {}});
    const PortResult opened = port.Open();
    EXPECT_EQ(opened.error, c.error) << c.number;
    EXPECT_NE(port.openFailureReason().find(c.words), std::string::npos) << port.openFailureReason();
    EXPECT_NE(port.openFailureReason().find("\\\\.\\COM" + std::to_string(c.number)), std::string::npos);
  }
}

// Wine keeps a port's time-outs with the handle, not the device, so only the
// line settings can be seen to come back here.
TEST_F(WineComTest, CloseRestoresTheLineSettingsFoundAtOpen) {
  const std::wstring name = L"\\\\.\\COM" + std::to_wstring(ports[1]);
  const auto rawOpen = [&] {
    return CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  };
  HANDLE raw = rawOpen();
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  DCB before{};
  before.DCBlength = sizeof before;
  ASSERT_TRUE(GetCommState(raw, &before));
  before.BaudRate = 9600;
  ASSERT_TRUE(SetCommState(raw, &before));
  CloseHandle(raw);

  {
    CComPort port({ports[1], 921600, {}});
    ASSERT_TRUE(port.Open()) << port.openFailureReason();
    EXPECT_NE(Exchange(port, "AT").find("OK"), std::string::npos);
  }

  raw = rawOpen();
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  DCB after{};
  after.DCBlength = sizeof after;
  EXPECT_TRUE(GetCommState(raw, &after));
  CloseHandle(raw);
  EXPECT_EQ(after.BaudRate, 9600u);
}

// The engine's operations as the tool runs them, on its worker.
TEST_F(WineComTest, EngineIdentifiesAndReadsEveryGroupThroughTheComPort) {
  for (OperationKind kind : {OperationKind::Identify, OperationKind::Read}) {
    for (int number : ports) {
      SCOPED_TRACE("COM" + std::to_string(number) + (kind == OperationKind::Read ? " read" : " identify"));
      kestrun::testing::CRecordingEvents events;
      CDeviceEngine engine(events);
      OperationPlan plan;
      plan.kind = kind;
      plan.selection.fill(true);
      plan.form.SetPassword("5830");
      plan.port = {number, 115200, {}};
      plan.identify = true;
      const OperationResult result = engine.Run(std::move(plan));
      EXPECT_TRUE(result.ok()) << result.message << " " << result.detail;
      ASSERT_FALSE(events.identities.empty());
      EXPECT_TRUE(events.identities.back().imeiValid) << events.identities.back().imei;
      if (kind == OperationKind::Read) {
        const auto readable = std::count_if(AllGroups().begin(), AllGroups().end(),
                                            [](const GroupInfo& group) { return group.readButton >= 0; });
        EXPECT_EQ(static_cast<long>(events.groupsRead.size()), readable);
      }
    }
  }
}

}  // namespace
