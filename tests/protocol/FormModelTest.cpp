#include <gtest/gtest.h>

#include <map>

#include "../support/ValueRuleCases.h"
#include "protocol/ControlIds.h"
#include "protocol/FormModel.h"
#include "protocol/UtcStamp.h"
#include "protocol/Validation.h"
#include "protocol/ValueRules.h"

using namespace kestrun;
using namespace ctl;
using namespace kestrun::testing;

namespace {

constexpr const char* kStamp = "20110306090507";

struct FakeForm : IFormOutput {
  std::vector<std::string> messages;
  std::map<int, std::string> controls;
  void ShowResult(const std::string&, const std::string& message, ResultIcon, bool, int) override {
    messages.push_back(message);
  }
  void SetControlText(int id, const std::string& text) override { controls[id] = text; }
};

class FormModel : public ::testing::Test {
 protected:
  void SetUp() override {
    SetStampClock([] { return std::chrono::system_clock::time_point(std::chrono::seconds(1299402307)); });
    model.SetPassword("5830");
  }
  void TearDown() override { SetStampClock(nullptr); }
  CFormModel model;
  FakeForm out;
  CFormValues& v = model.values;
};

}  // namespace

TEST_F(FormModel, SriReportModesAndUnsetMode) {
  v.Number(ReportMode) = 2;
  ASSERT_TRUE(model.RefreshSriCommand(out));
  EXPECT_EQ(v.Text(SriPreview), std::string("AT+RVSRI=5830,0,1,,,,,,,") + kStamp);
  EXPECT_EQ(out.controls[SriPreview], v.Text(SriPreview));
  v.Number(ReportMode) = 3;
  model.RefreshSriCommand(out);
  EXPECT_NE(v.Text(SriPreview).find("=5830,2,0,"), std::string::npos);
  const std::string before = v.Text(SriPreview);
  v.Number(ReportMode) = -1;
  v.Text(Apn) = "changed";
  EXPECT_FALSE(model.RefreshSriCommand(out));
  EXPECT_EQ(v.Text(SriPreview), before);
  EXPECT_EQ(model.sri.apn, "changed");  // fields before the stop are updated
}

TEST_F(FormModel, SriCapsCutTheFormValue) {
  v.Text(SriPort) = "123456";
  v.Text(Apn) = std::string(41, 'a');
  model.RefreshSriCommand(out);
  EXPECT_EQ(v.Text(SriPort), "12345");
  EXPECT_EQ(v.Text(Apn), std::string(40, 'a'));
  EXPECT_EQ(out.messages, (std::vector<std::string>{"Error, Server Port > 5 Byte", "Error, APN > 40 Byte"}));
}

TEST_F(FormModel, BeiCapCutsOnlyTheRecordsCopy) {
  v.Text(BeiPort) = "123456";
  v.Address(BeiIp) = {1, 2, 3, 4};
  model.RefreshBeiCommand(out);
  EXPECT_EQ(v.Text(BeiPort), "123456");
  EXPECT_EQ(v.Text(BeiPreview), std::string("AT+RVBEI=5830,,,1.2.3.4,12345,,") + kStamp);
  EXPECT_EQ(out.messages.size(), 1u);
}

TEST_F(FormModel, RangeChecksRewriteTheValueBeforeTheRefresh) {
  v.Text(BeginTime) = "2400";
  model.CheckFieldRange(BeginTime, out);
  model.RefreshTriCommand(out);
  EXPECT_EQ(v.Text(TriPreview), std::string("AT+RVTRI=5830,2359,,,,") + kStamp);
  EXPECT_EQ(out.messages.back(), "Error, Begin Time Should be 0000 ~ 2359 !");
  v.Text(PositionDelay) = "";
  model.CheckFieldRange(PositionDelay, out);
  EXPECT_EQ(out.messages.size(), 1u);  // empty position delay is not checked
  v.Text(PositionDelay) = "5";
  model.CheckFieldRange(PositionDelay, out);
  EXPECT_EQ(v.Text(PositionDelay), "7");
  v.Text(SendNum) = "9";
  model.CheckFieldRange(SendNum, out);
  EXPECT_EQ(v.Text(SendNum), "5");
  v.Text(FixInterval) = "86400";
  model.CheckFieldRange(FixInterval, out);
  EXPECT_EQ(v.Text(FixInterval), "86400");
}

TEST_F(FormModel, ReplacedValueStaysReplacedUntilTheFieldIsEditedAgain) {
  v.Text(BeginTime) = "2400";  // typed
  model.CheckFieldRange(BeginTime, out);
  model.RefreshTriCommand(out);
  ASSERT_EQ(out.messages.size(), 1u);
  // The control still shows 2400, so every later pull brings it back.
  for (int edit = 0; edit < 2; ++edit) {
    v.Text(BeginTime) = "2400";
    v.Text(EndTime) = edit ? "1800" : "0100";
    model.CheckFieldRange(EndTime, out);
    model.RefreshTriCommand(out);
    EXPECT_EQ(v.Text(TriPreview), "AT+RVTRI=5830,2359," + v.Text(EndTime) + ",,," + kStamp);
  }
  v.Text(BeginTime) = "2400";
  EXPECT_EQ(model.PrepareSend(Group::Tri, out),
            std::vector<std::string>{std::string("AT+RVTRI=5830,2359,1800,,,") + kStamp});
  EXPECT_EQ(out.messages.size(), 1u);  // the message showed at the edit only

  // The user edits the field: the new text counts from now on.
  v.Text(BeginTime) = "0930";
  model.CheckFieldRange(BeginTime, out);
  model.RefreshTriCommand(out);
  EXPECT_EQ(v.Text(TriPreview), std::string("AT+RVTRI=5830,0930,1800,,,") + kStamp);
  v.Text(BeginTime) = "0930";
  EXPECT_EQ(model.PrepareSend(Group::Tri, out).front(), std::string("AT+RVTRI=5830,0930,1800,,,") + kStamp);
  EXPECT_EQ(out.messages.size(), 1u);
}

TEST_F(FormModel, ValueFromElsewhereEndsTheReplacementAndIsCheckedAtSend) {
  v.Text(SendNum) = "9";
  model.CheckFieldRange(SendNum, out);
  v.Text(SendNum) = "9";
  model.RefreshBacCommand(out);
  EXPECT_EQ(model.bac.sendNum, "5");
  // A config file or a reply brings another value: it is taken as it is...
  v.Text(SendNum) = "3";
  model.RefreshBacCommand(out);
  EXPECT_EQ(model.bac.sendNum, "3");
  v.Text(SendNum) = "9";
  model.RefreshBacCommand(out);
  EXPECT_EQ(model.bac.sendNum, "9");  // the preview shows what the form holds
  const std::size_t shown = out.messages.size();
  // ...but a Send checks what no edit has checked: nothing out of range goes out.
  v.Text(InfoReportPeriod) = "0";
  const std::vector<std::string> lines = model.PrepareSend(Group::Bac, out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(lines[0].size() - 17), std::string(",5,") + kStamp);
  EXPECT_NE(lines[0].find(",1,0,,,5,"), std::string::npos) << lines[0];  // period 1, then the tail
  EXPECT_EQ(std::vector<std::string>(out.messages.begin() + shown, out.messages.end()),
            (std::vector<std::string>{"Error, Info Report Period Should be 1 ~ 1440 !",
                                      "Error, Movement Send Number Should be 1 ~ 5 !"}));
  // The next Send of the same values holds the replacements without a new message.
  v.Text(SendNum) = "9";
  v.Text(InfoReportPeriod) = "0";
  EXPECT_EQ(model.PrepareSend(Group::Bac, out), lines);
  EXPECT_EQ(out.messages.size(), shown + 2);
  // Empty optional values are not checked; Begin Time empty is 0, in range.
  v.Text(PositionDelay) = "";
  v.Text(BeginTime) = "";
  model.PrepareSend(Group::Bei, out);
  model.PrepareSend(Group::Tri, out);
  EXPECT_EQ(out.messages.size(), shown + 2);
  v.Text(PositionDelay) = "1000";
  EXPECT_NE(model.PrepareSend(Group::Bei, out).front().find(",900,"), std::string::npos);
}

TEST_F(FormModel, GeoOnlySelectedFencesHaveLines) {
  v.Number(FenceBox[1]) = 1;
  v.Text(CheckInterval[1]) = "123";
  v.Number(FenceType[1]) = 2;
  v.Number(FenceType[0]) = -1;
  model.RefreshGeoCommands(out);
  EXPECT_EQ(v.Text(FencePreview[0]), "");
  EXPECT_EQ(v.Text(FencePreview[1]), std::string("AT+RVGEO=5830,2,,,,12,3,") + kStamp);
  EXPECT_EQ(v.Text(CheckInterval[1]), "123");  // the cut applies to the record's copy
  EXPECT_EQ(out.messages, (std::vector<std::string>{"Error, Check Interval <= 2 Byte"}));
  EXPECT_EQ(model.geo.fenceType[0], 0);
  EXPECT_EQ(model.PrepareSend(Group::Geo, out), (std::vector<std::string>{v.Text(FencePreview[1])}));
}

TEST_F(FormModel, RtoNeedsAnOption) {
  v.Number(RtoOption) = 8;
  ASSERT_TRUE(model.RefreshRtoCommand(out));
  EXPECT_EQ(v.Text(RtoPreview), std::string("AT+RVRTO=5830,A,") + kStamp);
  v.Number(RtoOption) = -1;
  EXPECT_FALSE(model.RefreshRtoCommand(out));
  EXPECT_EQ(v.Text(RtoPreview), std::string("AT+RVRTO=5830,A,") + kStamp);
}

TEST_F(FormModel, KpnLinesFollowTheRowBoxes) {
  v.Number(KeyBox[0]) = 1;
  v.Text(PhoneNumber[0]) = "112";
  v.Number(KeyBox[3]) = 1;
  model.RefreshKpnCommands(out);
  EXPECT_EQ(v.Text(KeyPreview[0]), std::string("AT+RVKPN=5830,0,,,112,,,") + kStamp);
  EXPECT_EQ(v.Text(KeyPreview[1]), "");
  EXPECT_EQ(model.PrepareSend(Group::Kpn, out).size(), 2u);
  v.Number(KeyBox[0]) = 0;
  model.RefreshKpnCommands(out);
  EXPECT_EQ(out.controls[KeyPreview[0]], "");
}

TEST_F(FormModel, WltStartAfterEndBlanksOnlyTheControl) {
  v.Number(MobileStart) = 2;
  v.Number(MobileEnd) = 4;
  v.Text(WhiteNumber[2]) = "333";
  ASSERT_TRUE(model.RefreshWltCommand(out));
  const std::string line = v.Text(WltPreview);
  EXPECT_EQ(line, std::string("AT+RVWLT=5830,3,5,333,,,0,0,,,") + kStamp);
  v.Number(MobileStart) = 5;
  v.Number(MobileEnd) = 1;
  EXPECT_FALSE(model.RefreshWltCommand(out));
  EXPECT_EQ(out.controls[WltPreview], "");
  EXPECT_EQ(v.Text(WltPreview), line);
  EXPECT_EQ(model.PrepareSend(Group::Wlt, out), (std::vector<std::string>{line}));
}

TEST_F(FormModel, ReplyIntoFormMapsIndicesAndAddresses) {
  ASSERT_TRUE(model.ParseReply(Group::Sri, "+RVSRI:pw,1,1,a,b,c,300.1.1.1,5,6\r\nOK\r\n"));
  model.ApplyReplyToForm(Group::Sri);
  EXPECT_EQ(v.Number(ReportMode), -1);  // no radio button matches (1, 1)
  EXPECT_EQ(v.Address(SriIp), (Octets{44, 1, 1, 1}));
  ASSERT_TRUE(model.ParseReply(Group::Sri, "+RVSRI:pw,2,0,a,b,c,1.1.1.1,5,6\r\nOK\r\n"));
  model.ApplyReplyToForm(Group::Sri);
  EXPECT_EQ(v.Number(ReportMode), 3);

  v.Number(MobileStart) = 4;
  ASSERT_TRUE(model.ParseReply(Group::Wlt, "+RVWLT:1,2,3,4,5,6,7,8,9,10,1,0\r\nOK\r\n"));
  model.ApplyReplyToForm(Group::Wlt);
  EXPECT_EQ(v.Text(WhiteNumber[9]), "10");
  EXPECT_EQ(v.Number(CallFilter), 1);
  EXPECT_EQ(v.Number(MobileStart), 4);
}

TEST_F(FormModel, ReplySideCapsUseTheirOwnTexts) {
  ASSERT_TRUE(
      model.ParseReply(Group::Geo, "+RVGEO:pw,1,a,b,c,123,1,2,a,b,c,d,1,3,a,b,c,d,1,4,a,b,c,d,1\r\nOK\r\n"));
  model.ApplyReplyCaps(Group::Geo, out);
  EXPECT_EQ(model.geo.checkInterval[0], "12");
  EXPECT_EQ(out.messages, (std::vector<std::string>{"Error, Check Interval > 2 Byte"}));
}

TEST_F(FormModel, SendAllSelectionFromBoxes) {
  EXPECT_EQ(model.SendAllSelection(), GroupSelection{});
  v.Number(PinEnable) = 1;
  v.Number(FenceBox[2]) = 1;
  v.Number(KeyBox[4]) = 1;
  const GroupSelection selection = model.SendAllSelection();
  EXPECT_TRUE(selection[static_cast<int>(Group::Pin)]);
  EXPECT_TRUE(selection[static_cast<int>(Group::Geo)]);
  EXPECT_TRUE(selection[static_cast<int>(Group::Kpn)]);
  EXPECT_FALSE(selection[static_cast<int>(Group::Sri)]);
  EXPECT_FALSE(selection[static_cast<int>(Group::Rto)]);
}

TEST_F(FormModel, ReplyHandOverEmptiesPreviewsAndRefreshesLive) {
  v.Number(MobileStart) = 3;
  v.Number(MobileEnd) = 1;  // start after end: the refresh stops, the preview stays empty
  ASSERT_TRUE(model.ParseReply(Group::Wlt, "+RVWLT:1,2,3,4,5,6,7,8,9,10,1,0\r\nOK\r\n"));
  bool liveWhileShown = true;
  model.PutReplyIntoForm(Group::Wlt, out, [&] { liveWhileShown = model.liveUpdate; });
  EXPECT_FALSE(liveWhileShown);
  EXPECT_TRUE(model.liveUpdate);
  EXPECT_EQ(out.controls[WltPreview], "");
  const auto ids = CFormModel::ReplyValueIds(Group::Wlt);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), MobileStart), 0);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), WltEnable), 0);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), CallFilter), 1);
  const auto geo = CFormModel::ReplyValueIds(Group::Geo);
  EXPECT_EQ(std::count(geo.begin(), geo.end(), FenceBox[0]), 0);
  EXPECT_EQ(std::count(geo.begin(), geo.end(), Longitude[0]), 1);
}

TEST_F(FormModel, EveryLineFitsTheTrackerWithThePasswordAtItsLimit) {
  // Every field at its input limit and every row ticked: the longest lines
  // the form can build.
  for (const Binding& b : Bindings()) {
    if (b.kind == ValueKind::Text)
      v.Text(b.id) = std::string(b.limit > 0 ? b.limit : 5, b.digitsOnly ? '7' : 'x');
    if (b.kind == ValueKind::Flag || b.kind == ValueKind::Index || b.kind == ValueKind::Radio)
      v.Number(b.id) = 1;
    if (b.kind == ValueKind::Address) v.Address(b.id) = {192, 168, 100, 200};
  }
  v.Number(MobileStart) = 0;
  v.Number(MobileEnd) = 9;
  std::size_t longest = 0;
  for (const std::string& password :
       {std::string(kMaxPasswordBytes, '9'), std::string(kMaxPasswordBytes + 1, '9')}) {
    model.SetPassword(password);
    longest = 0;
    for (const GroupInfo& info : AllGroups())
      for (const std::string& line : model.PrepareSend(info.group, out))
        longest = std::max(longest, line.size());
    if (password.size() == kMaxPasswordBytes) {
      EXPECT_LE(longest, 254u);
    }
  }
  EXPECT_GT(longest, 254u);  // one byte more would not fit: the limit is tight
}

TEST_F(FormModel, CapsNeverPutABrokenCharacterIntoTheLine) {
  const std::string euro = "\xE2\x82\xAC";
  std::string sevenEuros;
  for (int i = 0; i < 7; ++i) sevenEuros += euro;
  v.Number(ReportMode) = 0;
  v.Text(ApnUser) = sevenEuros;  // 7 characters, 21 bytes
  model.RefreshSriCommand(out);
  EXPECT_EQ(out.messages, std::vector<std::string>{"Error, User Name > 20 Byte"});
  EXPECT_EQ(v.Text(ApnUser), sevenEuros.substr(0, 18));
  EXPECT_EQ(v.Text(SriPreview), "AT+RVSRI=5830,0,0,," + sevenEuros.substr(0, 18) + ",,,,," + kStamp);

  // A fence's longitude read from a tracker: the reply-side cut is the same.
  model.geo.longitude[0] = "1" + sevenEuros;  // 22 bytes
  model.ApplyReplyCaps(Group::Geo, out);
  EXPECT_EQ(model.geo.longitude[0], "1" + sevenEuros.substr(0, 18));
}

TEST_F(FormModel, EveryFieldIsDefinedOnceAndEveryTextHasItsPlaceInItsRecord) {
  std::map<int, int> rows;
  for (const FormField& f : FormFields()) {
    EXPECT_EQ(++rows[f.id], 1) << f.id;
    EXPECT_EQ(static_cast<bool>(f.recordText), f.kind == ValueKind::Text) << f.id;
    if (f.capMessage) {
      EXPECT_GT(f.limit, 0) << f.id;  // a cap cuts at the input limit
    }
    if (f.range.label) {
      EXPECT_EQ(f.kind, ValueKind::Text) << f.id;
    }
  }
  // Looking a field up by its id finds its own row; a control that holds no
  // value (a button, the status line) has none.
  for (const FormField& f : FormFields()) EXPECT_EQ(FindBinding(f.id), &f) << f.id;
  for (int id : {StatusLine, SriRead, SriSend, BeiRead}) EXPECT_EQ(FindBinding(id), nullptr) << id;
}

TEST_F(FormModel, SriCapMessagesComeInTheirOrderWithTheApnLast) {
  v.Text(Apn) = std::string(41, 'a');
  v.Text(ApnUser) = std::string(21, 'u');
  v.Text(SmsGateway) = std::string(21, 's');
  model.RefreshSriCommand(out);
  EXPECT_EQ(out.messages, (std::vector<std::string>{"Error, SMS Gateway > 20 Byte",
                                                    "Error, User Name > 20 Byte", "Error, APN > 40 Byte"}));
}

TEST_F(FormModel, InfoReportFlagIsTheNinthFlagOfTheRunAndTheAlarmsTheFirstEight) {
  v.Number(InfoReportFlag) = 1;
  model.RefreshBacCommand(out);
  EXPECT_EQ(model.bac.flagRun, (std::array<int, 9>{0, 0, 0, 0, 0, 0, 0, 0, 1}));
  v.Number(InfoReportFlag) = 0;
  v.Number(BacAlarmFlag[0]) = v.Number(BacAlarmFlag[7]) = 1;
  model.RefreshBacCommand(out);
  EXPECT_EQ(model.bac.flagRun, (std::array<int, 9>{1, 0, 0, 0, 0, 0, 0, 1, 0}));
  // And back: a reply's ninth flag sets the info report box.
  model.bac.flagRun = {0, 0, 0, 0, 0, 0, 0, 0, 1};
  model.ApplyReplyToForm(Group::Bac);
  EXPECT_EQ(v.Number(InfoReportFlag), 1);
  for (int id : BacAlarmFlag) EXPECT_EQ(v.Number(id), 0) << id;
}

TEST_F(FormModel, ValuesThatBreakTheirRuleHaveNoLineAndStopTheSend) {
  for (const ValueRuleCase& c : ValueRuleCases()) {
    CFormModel m;
    FakeForm form;
    m.SetPassword("5830");
    const FormField& field = *FindFormField(c.id);
    for (int n = 0; n < 4; ++n) m.values.Number(FenceBox[n]) = 1;
    for (int k = 0; k < 5; ++k) m.values.Number(KeyBox[k]) = 1;
    m.values.Number(MobileEnd) = 9;
    m.values.Text(c.id) = c.value;
    GroupSelection selection{};
    selection[static_cast<int>(field.group)] = true;
    const bool checked = m.CheckSendRules(selection, form);
    const std::vector<std::string> lines = m.PrepareSend(field.group, form);
    const bool sent =
        !lines.empty() && std::none_of(lines.begin(), lines.end(), [](auto& l) { return l.empty(); });
    const std::string what = field.name + " = '" + c.value + "'";
    EXPECT_EQ(checked, c.accepted) << what;
    EXPECT_EQ(sent, c.accepted) << what;
    if (c.accepted) continue;
    // The popup and the row's preview name the field and the rule.
    const std::string rule = RuleName(field.rule);
    ASSERT_FALSE(form.messages.empty()) << what;
    EXPECT_NE(form.messages.front().find(field.name), std::string::npos) << form.messages.front();
    EXPECT_NE(form.messages.front().find(rule), std::string::npos) << form.messages.front();
    const int preview =
        Info(field.group).previews[std::max(field.row, 0) % Info(field.group).previews.size()];
    EXPECT_NE(form.controls[preview].find(rule), std::string::npos) << what << ": " << form.controls[preview];
  }
}

TEST_F(FormModel, ValuesASendDoesNotCarryNeverBlockIt) {
  v.Text(Latitude[1]) = "nan";       // fence 2 not ticked
  v.Text(PhoneNumber[3]) = "x";      // key 3 not ticked
  v.Text(WhiteNumber[5]) = "0170x";  // outside Mobile Start..End
  v.Number(FenceBox[0]) = 1;
  v.Number(KeyBox[0]) = 1;
  v.Number(MobileEnd) = 4;
  GroupSelection all;
  all.fill(true);
  EXPECT_TRUE(model.CheckSendRules(all, out));
  v.Number(MobileEnd) = 5;
  EXPECT_FALSE(model.CheckSendRules(all, out));
  ASSERT_EQ(out.messages.size(), 1u);
  EXPECT_NE(out.messages[0].find("White Number 6"), std::string::npos) << out.messages[0];
}
