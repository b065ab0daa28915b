// Loading a config file for the command line, the form's rules before a
// write, and the comparison by config key.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "../cli/CliSupport.h"
#include "../support/HostileValues.h"
#include "../support/TestSupport.h"
#include "../support/ValueRuleCases.h"
#include "batch/Compare.h"
#include "batch/ConfigCheck.h"
#include "port/ComPort.h"
#include "protocol/ValueRules.h"

using namespace kestrun;
using namespace kestrun::batch;
using namespace kestrun::testing;
using namespace ctl;

namespace {

GroupSelection Groups(std::initializer_list<Group> groups) {
  GroupSelection s{};
  for (Group g : groups) s[static_cast<int>(g)] = true;
  return s;
}

GroupSelection AllSettings() {
  GroupSelection s;
  s.fill(true);
  s[static_cast<int>(Group::Rto)] = false;
  return s;
}

const Problem* Find(const std::vector<Problem>& problems, const std::string& section,
                    const std::string& key) {
  for (const Problem& p : problems)
    if (p.section == section && p.key == key) return &p;
  return nullptr;
}

class ConfigCheckTest : public ::testing::Test {
 protected:
  // Loads the file `path` into `input` and `problems`; the error, or "" when it loaded.
  std::string LoadFile(const std::string& path) {
    problems.clear();
    error.clear();
    const bool ok = LoadConfigInput(path, input, problems, error);
    EXPECT_EQ(ok, error.empty() && problems.empty());
    return error;
  }
  // Loads `text`, or the file that saving `values` writes, as a config file.
  std::string Load(const std::string& text) {
    WriteFile(dir / "in.ini", text);
    return LoadFile(dir / "in.ini");
  }
  std::string Load(const CFormValues& values, const std::string& version = "") {
    WriteConfig(dir / "in.ini", values, version);
    return LoadFile(dir / "in.ini");
  }
  TempDir dir;
  ConfigInput input;
  std::vector<Problem> problems;
  std::string error;
};

}  // namespace

TEST_F(ConfigCheckTest, LoadsWhatSaveWritesAndNamesTheSectionsPresent) {
  ASSERT_EQ(Load(FullValues(), "[Revision:X]"), "");
  for (const ConfigKey& key : ConfigKeys()) {
    if (key.id == 0) continue;
    EXPECT_EQ(KeyText(key, input.values), KeyText(key, FullValues())) << key.section << " " << key.key;
  }
  GroupSelection all;
  all.fill(true);
  EXPECT_EQ(input.sections, all);

  // A partial file: only the sections that hold keys count; names match in any case.
  EXPECT_EQ(Load("[rvtri]\r\nstarttime=0600\r\n[RVPIN]\r\n[RVBAC]\r\nOSA=2\r\n"), "");
  EXPECT_EQ(input.sections, Groups({Group::Tri, Group::Bac}));
  EXPECT_EQ(input.values.Text(BeginTime), "0600");
  EXPECT_EQ(input.values.Number(OverSpeedAlarm), 1);
  EXPECT_EQ(input.values.Text(EndTime), "");  // missing keys take their defaults
}

TEST_F(ConfigCheckTest, FilesThatAreNoConfigFileAreRefusedWithTheReason) {
  EXPECT_NE(LoadFile(dir / "missing.ini").find("No such file"), std::string::npos) << error;
  EXPECT_NE(LoadFile(dir.path()).find("not a regular file"), std::string::npos) << error;

  EXPECT_NE(Load("hello, world\n").find("not a config file"), std::string::npos);
  EXPECT_NE(Load("[Main]\nGenPassword=5830\n").find("not a config file"), std::string::npos);
  // A NUL outside every value: a value's NUL is named with its key instead.
  EXPECT_NE(Load(std::string("[RVSRI]\0\nAPN=ab\n", 15)).find("binary"), std::string::npos);
  EXPECT_NE(Load(std::string(2 << 20, 'x')).find("larger than"), std::string::npos);

  if (::geteuid() != 0) {  // root reads anything
    WriteConfig(dir / "locked.ini", FullValues());
    ::chmod((dir / "locked.ini").c_str(), 0);
    EXPECT_NE(LoadFile(dir / "locked.ini").find("Permission denied"), std::string::npos) << error;
  }
}

TEST_F(ConfigCheckTest, NumbersThatAreNoNumbersAndOctetsOutOfRangeNameTheirKeys) {
  EXPECT_EQ(Load("[RVSRI]\nRepMode=two\nIP1=300\nIP2=-1\nIP3=255\nAPN=abc\n[RVGEO]\nID_1=yes\n"), "");
  ASSERT_EQ(problems.size(), 4u);
  EXPECT_EQ(Find(problems, "RVSRI", "RepMode")->why, "is not a number");
  EXPECT_NE(Find(problems, "RVSRI", "IP1")->why.find("0 to 255"), std::string::npos);
  EXPECT_NE(Find(problems, "RVSRI", "IP2"), nullptr);
  EXPECT_EQ(Find(problems, "RVGEO", "ID_1")->value, "yes");
  EXPECT_EQ(Describe(*Find(problems, "RVSRI", "RepMode")), "[RVSRI] RepMode = 'two': is not a number");
}

TEST_F(ConfigCheckTest, WriteSendsTheSectionsPresentNarrowedAndNeverRto) {
  ASSERT_EQ(Load(FullValues()), "");
  GroupSelection selection{};
  ASSERT_TRUE(SendSelection(input, std::nullopt, selection, error)) << error;
  EXPECT_EQ(selection, AllSettings());
  ASSERT_TRUE(SendSelection(input, Groups({Group::Sri, Group::Kpn}), selection, error));
  EXPECT_EQ(selection, Groups({Group::Sri, Group::Kpn}));

  // Fences and keypad rows without a ticked row drop out, unless asked for by name.
  CFormValues values = FullValues();
  for (int n = 0; n < 4; ++n) values.Number(FenceBox[n]) = 0;
  for (int k = 0; k < 5; ++k) values.Number(KeyBox[k]) = 0;
  ASSERT_EQ(Load(values), "");
  ASSERT_TRUE(SendSelection(input, std::nullopt, selection, error));
  GroupSelection expected = AllSettings();
  expected[static_cast<int>(Group::Geo)] = expected[static_cast<int>(Group::Kpn)] = false;
  EXPECT_EQ(selection, expected);
  EXPECT_FALSE(SendSelection(input, Groups({Group::Geo}), selection, error));
  EXPECT_NE(error.find("ID_1 to ID_4"), std::string::npos) << error;
  EXPECT_FALSE(SendSelection(input, Groups({Group::Kpn}), selection, error));
  EXPECT_NE(error.find("Key0 to Key4"), std::string::npos) << error;

  EXPECT_EQ(Load("[RVTRI]\nStartTime=0600\n[RVRTO]\nCmdOptionIdx=3\n"), "");
  EXPECT_FALSE(SendSelection(input, Groups({Group::Sri}), selection, error));
  EXPECT_NE(error.find("no [RVSRI] section"), std::string::npos) << error;
  ASSERT_TRUE(SendSelection(input, std::nullopt, selection, error));
  EXPECT_EQ(selection, Groups({Group::Tri}));
  EXPECT_EQ(Load("[RVRTO]\nCmdOptionIdx=3\n[INFO]\nVER=x\n"), "");
  EXPECT_FALSE(SendSelection(input, std::nullopt, selection, error));
  EXPECT_NE(error.find("no settings group to send"), std::string::npos) << error;
  EXPECT_FALSE(DiffSelection(input, std::nullopt, selection, error));
}

TEST_F(ConfigCheckTest, ValidValuesPassAndEveryBrokenRuleNamesItsKey) {
  EXPECT_TRUE(CheckForSend(FullValues(), AllSettings(), "5830").empty());

  CFormValues v = FullValues();
  v.Text(Apn) = "apn,with,commas";
  v.Text(WhiteNumber[3]) = "0170-555";
  v.Text(PhoneNumber[2]) = std::string(31, '1');  // over the limit, and no cap would cut it
  v.Number(FenceType[1]) = 3;
  v.Number(ReportMode) = -1;
  const auto problems = CheckForSend(v, AllSettings(), "5830");
  ASSERT_EQ(problems.size(), 5u);
  EXPECT_NE(Find(problems, "RVSRI", "APN")->why.find("comma"), std::string::npos);
  EXPECT_EQ(Find(problems, "RVWLT", "Numb4")->why, "must be digits only");
  EXPECT_EQ(Find(problems, "RVKPN", "PhoneNum2")->why, "is 31 characters, over its input limit of 30");
  EXPECT_EQ(Find(problems, "RVGEO", "Type2")->why, "is not a position in its list (0 to 2)");
  EXPECT_EQ(Find(problems, "RVSRI", "RepMode")->why, "is not a position in its list (0 to 3)");
  for (const Problem& p : problems) EXPECT_FALSE(p.cappable()) << Describe(p);
}

TEST_F(ConfigCheckTest, ValuesThatBreakTheirRuleAreRefusedByKeyAndRule) {
  for (const ValueRuleCase& c : ValueRuleCases()) {
    const FormField& field = *FindFormField(c.id);
    CFormValues v = FullValues();
    v.Text(c.id) = c.value;
    const auto problems = CheckForSend(v, AllSettings(), "5830");
    const bool refused =
        std::any_of(problems.begin(), problems.end(), [](const Problem& p) { return !p.cappable(); });
    EXPECT_EQ(refused, !c.accepted) << field.key << " = '" << c.value << "'";
    if (c.accepted || field.rule == ValueRule::Text)
      continue;  // commas and control bytes have their own words
    const Problem* problem = Find(problems, field.section, field.key);
    ASSERT_NE(problem, nullptr) << field.key;
    EXPECT_EQ(problem->why, "must be " + RuleName(field.rule));
  }
}

TEST_F(ConfigCheckTest, ValuesTheWindowCorrectsCarryTheCorrection) {
  CFormValues v = FullValues();
  v.Text(SriPort) = "123456";        // cut by the SRI refresh
  v.Text(BeiPort) = "654321";        // cut on the way into the BEI line
  v.Text(CheckInterval[2]) = "123";  // fence caps
  v.Text(BeginTime) = "2500";        // range check: the bound
  v.Text(PositionDelay) = "5";       // range check: the low bound
  std::string accents;
  for (int i = 0; i < 25; ++i) accents += "\xC3\xA9";
  v.Text(Apn) = accents;  // 25 characters fit the field, 50 bytes do not fit the line
  auto problems = CheckForSend(v, AllSettings(), "5830");
  ASSERT_EQ(problems.size(), 6u);
  for (const Problem& p : problems) EXPECT_TRUE(p.cappable()) << Describe(p);
  EXPECT_EQ(Find(problems, "RVSRI", "ServerPort")->corrected, "12345");
  EXPECT_EQ(Find(problems, "RVSRI", "ServerPort")->capMessage, "Error, Server Port > 5 Byte");
  EXPECT_NE(Find(problems, "RVSRI", "ServerPort")->why.find("over its input limit of 5"), std::string::npos);
  EXPECT_EQ(Find(problems, "RVBEI", "ServerPort")->corrected, "65432");
  EXPECT_EQ(Find(problems, "RVGEO", "CekInv3")->corrected, "12");
  EXPECT_EQ(Find(problems, "RVTRI", "StartTime")->corrected, "2359");
  EXPECT_EQ(Find(problems, "RVTRI", "StartTime")->capMessage, "Error, Begin Time Should be 0000 ~ 2359 !");
  EXPECT_EQ(Find(problems, "RVBEI", "PosiDelay")->corrected, "7");
  EXPECT_EQ(Find(problems, "RVSRI", "APN")->corrected, accents.substr(0, 40));
  EXPECT_EQ(Find(problems, "RVSRI", "APN")->why, "the window would correct it: Error, APN > 40 Byte");

  ApplyCorrections(problems, v);
  EXPECT_EQ(v.Text(SriPort), "12345");
  EXPECT_EQ(v.Text(BeginTime), "2359");
  EXPECT_TRUE(CheckForSend(v, AllSettings(), "5830").empty());
}

// Problems go to the terminal, the dry run, the report and the journal: a
// PIN or password, or what a cap makes of it, is never part of their text.
TEST_F(ConfigCheckTest, APinOrPasswordIsNeverShownInAProblem) {
  const struct {
    int id;
    std::string value;
  } cases[] = {{ApnPassword, "a-password-longer-than-the-line-takes"}, {Pin, "12a4"}, {Pin, "98765432109"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    CFormValues v = FullValues();
    v.Text(c.id) = c.value;
    const auto problems = CheckForSend(v, AllSettings(), "5830");
    ASSERT_FALSE(problems.empty());
    for (const Problem& p : problems) {
      EXPECT_TRUE(p.secret);
      EXPECT_EQ(Describe(p).find(c.value.substr(0, 4)), std::string::npos) << Describe(p);
      EXPECT_NE(Describe(p).find("(a secret: not shown)"), std::string::npos) << Describe(p);
      EXPECT_TRUE(!p.cappable() || CappedText(p).find(p.corrected) == std::string::npos) << CappedText(p);
    }
  }
}

TEST_F(ConfigCheckTest, OnlyWhatIsSentIsChecked) {
  CFormValues v = FullValues();
  v.Number(FenceBox[1]) = 0;
  v.Text(Longitude[1]) = "1,2";  // fence 2 is not sent
  v.Number(KeyBox[4]) = 0;
  v.Text(PhoneName[4]) = "a,b";
  v.Number(MobileStart) = 2;
  v.Text(WhiteNumber[0]) = "not digits";  // outside the list's range
  EXPECT_TRUE(CheckForSend(v, AllSettings(), "5830").empty());
  v.Text(Apn) = "a,b";
  EXPECT_TRUE(CheckForSend(v, Groups({Group::Tri}), "5830").empty());
  EXPECT_EQ(CheckForSend(v, Groups({Group::Sri}), "5830").size(), 1u);
}

TEST_F(ConfigCheckTest, LinesMustBeBuildableAndFitThePort) {
  CFormValues v = FullValues();
  v.Number(MobileStart) = 5;
  v.Number(MobileEnd) = 2;
  auto problems = CheckForSend(v, AllSettings(), "5830");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].key, "MobileStart");
  EXPECT_NE(problems[0].why.find("after MobileEnd"), std::string::npos);

  v = FullValues();
  for (int p = 0; p < 10; ++p) v.Text(WhiteNumber[p]) = std::string(20, '9');
  problems = CheckForSend(v, Groups({Group::Wlt}), std::string(40, 'p'));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].section, "RVWLT");
  EXPECT_NE(problems[0].why.find("more than the " + std::to_string(CComPort::kMaxLine)), std::string::npos);
  EXPECT_TRUE(CheckForSend(v, Groups({Group::Wlt}), "5830").empty());
}

TEST(CompareTest, KeysAreComparedAsTheFileWritesThem) {
  CFormValues a = FullValues(), b = FullValues();
  const ConfigKey* octet = FindConfigKey("RVSRI", "IP2");
  const ConfigKey* flag = FindConfigKey("RVBAC", "OSA");
  ASSERT_TRUE(octet && flag);
  EXPECT_EQ(KeyText(*octet, a), "1");
  b.Number(OverSpeedAlarm) = 7;  // any set flag is written as 1
  EXPECT_EQ(KeyText(*flag, b), "1");
  EXPECT_TRUE(Compare(ReadKeys(AllSettings()), a, b).empty());

  b.Text(Apn) = "other.apn";
  b.Address(BeiIp)[3] = 99;
  b.Number(FenceType[3]) = 2;
  b.Text(PhoneName[0]) = "";
  std::vector<std::string> differences;
  for (const Difference& d : Compare(ReadKeys(AllSettings()), a, b))
    differences.push_back(d.section + " " + d.key + ": " + d.fileValue + " -> " + d.trackerValue);
  EXPECT_EQ(differences,
            (std::vector<std::string>{"RVSRI APN: apn.example.net -> other.apn", "RVBEI IP4: 7 -> 99",
                                      "RVGEO Type4: 0 -> 2", "RVKPN PhoneName0: Driver 0 -> "}));
}

TEST(CompareTest, ReadKeysLeaveOutBoxesRangeActionsAndInfo) {
  const auto keys = ReadKeys(AllSettings());
  EXPECT_EQ(keys.size(), static_cast<std::size_t>(kAllGroupsKeyCount));
  for (const ConfigKey* key : keys) {
    EXPECT_NE(std::string(key->section), "RVRTO");
    EXPECT_NE(std::string(key->section), "INFO");
    for (const char* box : {"ID_", "Key", "Mobile"}) EXPECT_NE(key->key.rfind(box, 0), 0u) << key->key;
  }
  EXPECT_EQ(ReadKeys(Groups({Group::Pin})).size(), 3u);
}

TEST(CompareTest, SentKeysFollowTheTickedRowsAndTheListRange) {
  CFormValues v = FullValues();
  v.Number(FenceBox[0]) = v.Number(FenceBox[3]) = 0;
  v.Number(KeyBox[0]) = 0;
  v.Number(MobileStart) = 3;
  v.Number(MobileEnd) = 4;
  const auto all = ReadKeys(AllSettings()), sent = SentKeys(v, AllSettings());
  // Two fences of five keys, SOS's two keys, eight white numbers fewer.
  EXPECT_EQ(all.size() - sent.size(), 2u * 5 + 2 + 8);
  const struct {
    const char *section, *key;
    bool sent;
  } keys[] = {{"RVGEO", "Longitude2", true}, {"RVGEO", "Longitude1", false}, {"RVGEO", "Type4", false},
              {"RVKPN", "PhoneNum0", false}, {"RVKPN", "KpnEnable1", true},  {"RVWLT", "Numb4", true},
              {"RVWLT", "Numb5", true},      {"RVWLT", "Numb6", false},      {"RVWLT", "CallFilter", true}};
  for (const auto& k : keys)
    EXPECT_EQ(std::find(sent.begin(), sent.end(), FindConfigKey(k.section, k.key)) != sent.end(), k.sent)
        << k.key;
}

TEST_F(ConfigCheckTest, ControlCharactersInAnyValueAreRefusedByKeyAndCharacter) {
  for (const HostileValue& h : HostileValues()) {
    if (h.fitsInFile) {
      EXPECT_EQ(Load("[RVKPN]\nKey0=1\nPhoneNum0=123\nPhoneName0=" + h.value + "\n"), "");
      if (h.byteName.empty()) {
        EXPECT_EQ(input.values.Text(PhoneName[0]), h.value);
      }
    } else {  // only a value built in memory holds these
      input.values.Text(PhoneName[0]) = h.value;
      input.values.Number(KeyBox[0]) = 1;
      problems = CheckForSend(input.values, Groups({Group::Kpn}), "5830");
    }
    if (h.byteName.empty()) {
      EXPECT_TRUE(problems.empty()) << Describe(problems.front());
      continue;
    }
    ASSERT_EQ(problems.size(), 1u) << h.byteName;
    // The value itself is not echoed: its bytes would act on the terminal.
    EXPECT_EQ(
        Describe(problems[0]).rfind("[RVKPN] PhoneName0 holds a control character (" + h.byteName + ")", 0),
        0u)
        << Describe(problems[0]);
  }
  // A number key: the control character is named, not "is not a number".
  Load("[RVSRI]\nIP2=168\rIP3=10\n");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(Describe(problems[0]).rfind("[RVSRI] IP2 holds a control character (CR)", 0), 0u)
      << Describe(problems[0]);
}
