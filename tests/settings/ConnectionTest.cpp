// The connection made from MainSetting.ini's values, command-line values over
// it, and what it puts into an operation's plan.
#include <gtest/gtest.h>

#include "settings/Connection.h"
#include "settings/MainSettings.h"

using namespace kestrun;

TEST(Connection, MadeFromTheSettingsPositionsAndValues) {
  const std::vector<PortEntry> ports = {{3, "/dev/ttyS2", "/dev/ttyS2"},
                                        {33, "/dev/ttyUSB0", "/dev/ttyUSB0"}};
  const struct {
    int comIndex;
    int baudIndex;
    int port;
    int baud;
  } rows[] = {{0, 0, 3, 57600}, {1, 4, 33, 921600}, {2, 1, 0, 115200}, {-1, 9, 0, kDefaultBaudRate}};
  for (const auto& row : rows) {
    CMainSettings settings;
    settings.comIndex = row.comIndex;
    settings.baudIndex = row.baudIndex;
    settings.password = "1234";
    settings.pacing = CPacing::Fast();
    const Connection c = ConnectionFromSettings(settings, ports);
    EXPECT_EQ(c.port, row.port) << row.comIndex;
    EXPECT_EQ(c.baudRate, row.baud) << row.baudIndex;
    EXPECT_EQ(c.password, "1234");
    EXPECT_EQ(c.pacing, CPacing::Fast());
  }
}

// The ports changed since the file was saved: COM33 is now at position 0.
TEST(Connection, StoredPortNumberWinsOverThePositionWhileThePortIsThere) {
  const std::vector<PortEntry> ports = {{33, "/dev/ttyUSB0", "/dev/ttyUSB0"},
                                        {40, "/dev/ttyUSB1", "/dev/ttyUSB1"}};
  const struct {
    const char* what;
    int comIndex;
    int comNumber;
    int position;
    bool byNumber;
  } rows[] = {
      {"number present wins", 1, 33, 0, true},
      {"number absent: the position", 1, 0, 1, false},
      {"number of a port gone: the position", 1, 7, 1, false},
      {"neither names a port", 5, 7, -1, false},
  };
  for (const auto& row : rows) {
    CMainSettings settings;
    settings.comIndex = row.comIndex;
    settings.comNumber = row.comNumber;
    const PortChoice choice = ChoosePort(settings, ports);
    EXPECT_EQ(choice.position, row.position) << row.what;
    EXPECT_EQ(choice.byNumber, row.byNumber) << row.what;
    EXPECT_EQ(ConnectionFromSettings(settings, ports).port,
              row.position < 0 ? 0 : ports[static_cast<std::size_t>(row.position)].number)
        << row.what;
  }
}

TEST(Connection, OptionsGivenReplaceTheirValuesOnly) {
  Connection c;
  ApplyOptions({}, c);
  EXPECT_EQ(c.baudRate, kDefaultBaudRate);
  EXPECT_EQ(c.pacing, CPacing::Specified());
  ApplyOptions({230400, CPacing::Fast()}, c);
  EXPECT_EQ(c.baudRate, 230400);
  EXPECT_EQ(c.pacing, CPacing::Fast());
  EXPECT_EQ(c.password, kDefaultPassword);
}

TEST(Connection, NamesThePortToOpen) {
  Connection c;
  c.port = 7;
  c.baudRate = 460800;
  c.discovery.portsDir = "/ports";
  const PortSettings port = c.Port();
  EXPECT_EQ(port.number, 7);
  EXPECT_EQ(port.baudRate, 460800);
  EXPECT_EQ(port.discovery.portsDir, "/ports");
}

TEST(Connection, BaudListIsOneList) {
  EXPECT_EQ(BaudListText(" or "), "57600, 115200, 230400, 460800 or 921600");
  for (int i = 0; i < kBaudCount; ++i) {
    int rate = 0;
    EXPECT_TRUE(ParseBaudRate(std::to_string(kBaudRates[i]), rate));
    EXPECT_EQ(rate, BaudRateForIndex(i));
  }
  int rate = 0;
  for (const char* bad : {"", "9600", "115200 ", "0115200"}) EXPECT_FALSE(ParseBaudRate(bad, rate)) << bad;
}
