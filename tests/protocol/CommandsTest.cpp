#include <gtest/gtest.h>

#include "protocol/BacCommand.h"
#include "protocol/BeiCommand.h"
#include "protocol/GeoCommand.h"
#include "protocol/KpnCommand.h"
#include "protocol/PinCommand.h"
#include "protocol/RtoCommand.h"
#include "protocol/SriCommand.h"
#include "protocol/TriCommand.h"
#include "protocol/UtcStamp.h"
#include "protocol/WltCommand.h"

using namespace kestrun;

namespace {

constexpr const char* kStamp = "20110306090507";

class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    SetStampClock([] { return std::chrono::system_clock::time_point(std::chrono::seconds(1299402307)); });
  }
  void TearDown() override { SetStampClock(nullptr); }
};

std::string Reply(const std::string& tag, const std::string& body) {
  return "AT+" + tag.substr(0, 5) + "?\r\r\n+" + tag + body + "\r\n\r\nOK\r\n";
}

}  // namespace

TEST_F(Commands, SriLineOrderAndEmptyAddress) {
  CSriCommand sri;
  sri.password = "5830";
  sri.reportMode = 0;
  sri.longConnection = 1;
  sri.apn = "internet";
  sri.apnUser = "u";
  sri.apnPassword = "p";
  sri.serverPort = "5000";
  sri.smsGateway = "+49";
  EXPECT_TRUE(sri.Build());
  EXPECT_EQ(sri.commandLine, std::string("AT+RVSRI=5830,0,1,internet,u,p,,5000,+49,") + kStamp);
  sri.serverIp = {10, 0, 0, 1};
  sri.Build();
  EXPECT_EQ(sri.commandLine, std::string("AT+RVSRI=5830,0,1,internet,u,p,10.0.0.1,5000,+49,") + kStamp);
}

TEST_F(Commands, SriParseExactCountsAndAddresses) {
  CSriCommand sri;
  EXPECT_TRUE(sri.Parse(Reply("RVSRI:", "1234,2,0,apn,user,pass,300.1.1.1,5000,+49")));
  EXPECT_EQ(sri.password, "1234");
  EXPECT_EQ(sri.reportMode, 2);
  EXPECT_EQ(sri.apn, "apn");
  EXPECT_EQ(sri.serverIp, (Octets{300, 1, 1, 1}));
  EXPECT_EQ(sri.smsGateway, "+49");
  EXPECT_TRUE(sri.Parse(Reply("RVSRI:", "1234,2,0,apn,user,pass,10.0.0,5000,+49")));
  EXPECT_EQ(sri.serverIp, (Octets{0, 0, 0, 0}));
  const CSriCommand before = sri;
  EXPECT_FALSE(sri.Parse(Reply("RVSRI:", "x,2,0,apn,user,pass,1.1.1.1,5000,+49,")));
  EXPECT_FALSE(sri.Parse(Reply("RVSRI:", "x,2,0,apn,user,pass,1.1.1.1,5000")));
  EXPECT_FALSE(sri.Parse("OK\r\n" + Reply("RVSRI:", "x,2,0,apn,user,pass,1.1.1.1,5000,+49")));
  EXPECT_EQ(sri.password, before.password);
  EXPECT_EQ(sri.apn, before.apn);
}

TEST_F(Commands, BeiHasTwoEmptyFieldsOnTheLineButOneInTheReply) {
  CBeiCommand bei;
  bei.password = "5830";
  bei.backupIp = {1, 2, 3, 4};
  bei.serverPort = "80";
  bei.positionDelay = "";
  bei.Build();
  EXPECT_EQ(bei.commandLine, std::string("AT+RVBEI=5830,,,1.2.3.4,80,,") + kStamp);
  EXPECT_TRUE(bei.Parse(Reply("RVBEI:", "pw,,5.6.7.8,81,30")));
  EXPECT_EQ(bei.backupIp, (Octets{5, 6, 7, 8}));
  EXPECT_EQ(bei.serverPort, "81");
  EXPECT_EQ(bei.positionDelay, "30");
  EXPECT_FALSE(bei.Parse(Reply("RVBEI:", "pw,,,5.6.7.8,81,30")));
}

TEST_F(Commands, TriRoundTrip) {
  CTriCommand tri;
  tri.password = "5830";
  tri.beginTime = "0800";
  tri.endTime = "1800";
  tri.sendInterval = "5";
  tri.fixInterval = "60";
  tri.Build();
  EXPECT_EQ(tri.commandLine, std::string("AT+RVTRI=5830,0800,1800,5,60,") + kStamp);
  EXPECT_TRUE(tri.Parse(Reply("RVTRI:", "9999,0100,0200,3,4")));
  EXPECT_EQ(tri.password, "9999");
  EXPECT_EQ(tri.fixInterval, "4");
}

TEST_F(Commands, GeoFourLinesShareOneStampAndFencesFillByNumber) {
  CGeoCommand geo;
  geo.password = "5830";
  geo.longitude[1] = "121.5";
  geo.fenceType[1] = 0;
  geo.Build();
  EXPECT_EQ(geo.commandLines[1], std::string("AT+RVGEO=5830,2,121.5,,,,0,") + kStamp);
  for (const auto& line : geo.commandLines) EXPECT_EQ(line.substr(line.size() - 14), kStamp);

  std::string body = "pw";
  for (int n : {3, 1, 4, 2})
    body += "," + std::to_string(n) + ",lon" + std::to_string(n) + ",lat,100,5," + std::to_string(n % 3 + 1);
  ASSERT_TRUE(geo.Parse(Reply("RVGEO:", body)));
  for (int n = 1; n <= 4; ++n) EXPECT_EQ(geo.longitude[n - 1], "lon" + std::to_string(n));
  EXPECT_EQ(geo.fenceType[2], 1);
}

TEST_F(Commands, GeoBadFenceNumberKeepsThePartialUpdate) {
  CGeoCommand geo;
  const std::string body = "newpw,1,a,b,c,d,1,2,e,f,g,h,2,0,x,x,x,x,1,4,y,y,y,y,1";
  EXPECT_FALSE(geo.Parse(Reply("RVGEO:", body)));
  EXPECT_EQ(geo.password, "newpw");
  EXPECT_EQ(geo.longitude[0], "a");
  EXPECT_EQ(geo.longitude[1], "e");
  EXPECT_EQ(geo.longitude[3], "");
}

TEST_F(Commands, RtoWritesUppercaseHex) {
  CRtoCommand rto;
  rto.password = "5830";
  const std::pair<int, const char*> cases[] = {{7, "8"}, {8, "A"}, {9, "B"}, {0, "1"}};
  for (auto [index, code] : cases) {
    rto.operation = CRtoCommand::OperationForIndex(index);
    rto.Build();
    EXPECT_EQ(rto.commandLine, std::string("AT+RVRTO=5830,") + code + "," + kStamp);
  }
  EXPECT_EQ(CRtoCommand::OperationForIndex(-1), -1);
  EXPECT_EQ(CRtoCommand::OperationForIndex(10), -1);
}

TEST_F(Commands, BacTwentyFieldsAndReplyFlags) {
  CBacCommand bac;
  bac.password = "5830";
  bac.Build();
  EXPECT_EQ(bac.commandLine, std::string("AT+RVBAC=5830,0,,,,0,0,0,0,0,0,0,0,0,,0,,,,") + kStamp);
  const std::string body = "2,120,x,y,1,0,1,0,1,0,1,0,1,30,1,15,200,3";
  ASSERT_TRUE(bac.Parse(Reply("RVBAC:", body)));
  EXPECT_EQ(bac.overSpeedAlarm, 1);
  EXPECT_EQ(bac.speedLimited, "120");
  EXPECT_EQ(bac.flagRun, (std::array<int, 9>{1, 0, 1, 0, 1, 0, 1, 0, 1}));
  EXPECT_EQ(bac.infoReportPeriod, "30");
  EXPECT_EQ(bac.movDetMode, 1);
  EXPECT_EQ(bac.sendNum, "3");
  EXPECT_EQ(bac.password, "5830");
  EXPECT_FALSE(bac.Parse(Reply("RVBAC:", body + ",1")));
  EXPECT_FALSE(bac.Parse(Reply("RVBAC:", "2,120,x,y,1,0,1,0,1,0,1,0,1,30,1,15,200")));
}

TEST_F(Commands, KpnThreeLineVariants) {
  CKpnCommand kpn;
  kpn.password = "5830";
  for (int k = 0; k < 5; ++k) {
    kpn.phoneNumber[k] = "n" + std::to_string(k);
    kpn.phoneName[k] = "m" + std::to_string(k);
    kpn.kpnEnable[k] = 1;
    kpn.autoAnswer[k] = 1;
  }
  kpn.kpnEnable[1] = -1;
  for (int k = 0; k < 5; ++k) EXPECT_TRUE(kpn.Build(k));
  EXPECT_FALSE(kpn.Build(5));
  EXPECT_EQ(kpn.commandLines[0], std::string("AT+RVKPN=5830,0,,,n0,,m0,") + kStamp);
  EXPECT_EQ(kpn.commandLines[1], std::string("AT+RVKPN=5830,1,1,-1,n1,,m1,") + kStamp);
  EXPECT_EQ(kpn.commandLines[3], std::string("AT+RVKPN=5830,3,,1,n3,,m3,") + kStamp);
}

TEST_F(Commands, KpnParseChecksKeyNumbersInOrder) {
  auto body = [](int key3, const std::string& name0) {
    return "0,9,9," + std::string("110,,") + name0 + ",1,1,0,111,,A,2,0,1,112,,B," + std::to_string(key3) +
           ",1,1,113,,C,4,,0,114,,D";
  };
  CKpnCommand kpn;
  ASSERT_TRUE(kpn.Parse(Reply("RVKPN:", body(3, "COOK"))));
  EXPECT_EQ(kpn.phoneName[0], "COOK");
  EXPECT_EQ(kpn.autoAnswer[1], 1);
  EXPECT_EQ(kpn.kpnEnable[1], 0);
  EXPECT_EQ(kpn.autoAnswer[3], 0);  // a key 3 auto answer is ignored
  EXPECT_EQ(kpn.phoneNumber[4], "114");
  CKpnCommand partial;
  EXPECT_FALSE(partial.Parse(Reply("RVKPN:", body(5, "X"))));
  EXPECT_EQ(partial.phoneNumber[2], "112");
  EXPECT_EQ(partial.phoneNumber[3], "");
  CKpnCommand untouched;
  EXPECT_FALSE(untouched.Parse(Reply("RVKPN:", "1" + body(3, "X").substr(1))));
  EXPECT_EQ(untouched.phoneNumber[0], "");
  EXPECT_FALSE(untouched.Parse(Reply("RVKPN:", body(3, "X") + ",")));
}

TEST_F(Commands, WltCarriesTheChosenRange) {
  CWltCommand wlt;
  wlt.password = "5830";
  for (int p = 0; p < 10; ++p) wlt.numbers[p] = std::to_string(100 + p + 1);
  wlt.numbers[3] = "";
  wlt.mobileStart = 3;
  wlt.mobileEnd = 5;
  wlt.callFilter = 1;
  ASSERT_TRUE(wlt.Build());
  EXPECT_EQ(wlt.commandLine, std::string("AT+RVWLT=5830,3,5,103,,105,1,0,,,") + kStamp);
  wlt.mobileStart = wlt.mobileEnd = 7;
  wlt.Build();
  EXPECT_EQ(wlt.commandLine, std::string("AT+RVWLT=5830,7,7,107,1,0,,,") + kStamp);
  const std::string previous = wlt.commandLine;
  wlt.mobileStart = 0;
  EXPECT_FALSE(wlt.Build());
  EXPECT_EQ(wlt.commandLine, previous);
  ASSERT_TRUE(wlt.Parse(Reply("RVWLT:", "1,2,3,4,5,6,7,8,9,10,1,1")));
  EXPECT_EQ(wlt.numbers[9], "10");
  EXPECT_EQ(wlt.gglMode, 1);
  EXPECT_EQ(wlt.mobileStart, 0);
}

TEST_F(Commands, PinEndsWithFourEmptyFields) {
  CPinCommand pin;
  pin.password = "5830";
  pin.autoUnlock = 1;
  pin.pin = "12345678";
  pin.Build();
  EXPECT_EQ(pin.commandLine, std::string("AT+RVPIN=5830,1,12345678,0,,,,,") + kStamp);
  ASSERT_TRUE(pin.Parse("AT+RVPIN?\r\n+RVPIN:1,,0\r\nOK\r\n"));
  EXPECT_EQ(pin.pin, "");
  EXPECT_EQ(pin.pinCheck, 0);
  EXPECT_FALSE(pin.Parse(Reply("RVPIN:", "1,1234,0,,,,")));
  EXPECT_FALSE(pin.Parse("+RVPIN:\r\nOK\r\n"));
}
