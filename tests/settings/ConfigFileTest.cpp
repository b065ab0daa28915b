#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "../support/HostileValues.h"
#include "../support/TestFiles.h"
#include "protocol/ControlIds.h"
#include "settings/ConfigFile.h"

using namespace kestrun;
using namespace kestrun::testing;
using namespace ctl;

namespace {

std::string Data(const std::string& name) { return std::string(KESTRUN_TEST_DATA) + "/" + name; }

// Every config value set to something that differs from its default.
CFormValues Filled() {
  CFormValues v;
  int n = 1;
  for (const ConfigKey& k : ConfigKeys()) {
    if (!k.id) continue;
    switch (k.encoding) {
      case Encoding::Text: v.Text(k.id) = "t" + std::to_string(n); break;
      case Encoding::Flag: v.Number(k.id) = 1; break;
      case Encoding::Octet: v.Address(k.id)[k.octet] = 10 + n % 200; break;
      default: v.Number(k.id) = n % 3 + 1; break;
    }
    ++n;
  }
  return v;
}

}  // namespace

TEST(ConfigFile, TableHasTenSectionsAndOneHundredKeys) {
  EXPECT_EQ(ConfigKeys().size(), static_cast<std::size_t>(kConfigKeyCount));
  std::vector<std::string> sections;
  for (const ConfigKey& k : ConfigKeys())
    if (sections.empty() || sections.back() != k.section) sections.push_back(k.section);
  EXPECT_EQ(sections, (std::vector<std::string>{"RVSRI", "RVBEI", "RVTRI", "RVGEO", "RVRTO", "RVBAC", "RVKPN",
                                                "RVWLT", "RVPIN", "INFO"}));
}

TEST(ConfigFile, EveryFieldWithAKeyIsInTheFileOnceAndNoOtherIs) {
  std::map<int, int> written;
  for (const ConfigKey& k : ConfigKeys())
    if (k.id) ++written[k.id];
  for (const FormField& f : FormFields()) {
    const int expected = f.key.empty() ? 0 : f.kind == ValueKind::Address ? 4 : 1;
    EXPECT_EQ(written[f.id], expected) << f.id;
  }
  for (const auto& [id, count] : written) EXPECT_NE(FindFormField(id), nullptr) << id;
}

TEST(ConfigFile, FreshSaveWritesTheExpectedFileByteForByte) {
  TempDir dir;
  CIniFile file(dir / "new.ini");
  WriteConfigFile(file, CFormValues(), "");
  EXPECT_EQ(ReadFile(file.path), WithLineEnd(ReadFile(Data("fresh-config.ini")), kNewFileLineEnd));
}

TEST(ConfigFile, SaveAndLoadRestoreEveryValue) {
  TempDir dir;
  CIniFile file(dir / "round.ini");
  const CFormValues saved = Filled();
  WriteConfigFile(file, saved, "[Revision:X] [SubEdition:Y]");
  CFormValues loaded;
  ReadConfigFile(file, loaded);
  for (const ConfigKey& k : ConfigKeys()) {
    if (!k.id) continue;
    if (k.encoding == Encoding::Text)
      EXPECT_EQ(loaded.Text(k.id), saved.Text(k.id)) << k.key;
    else if (k.encoding == Encoding::Octet)
      EXPECT_EQ(loaded.Address(k.id), saved.Address(k.id)) << k.key;
    else
      EXPECT_EQ(loaded.Number(k.id), saved.Number(k.id)) << k.key;
  }
  const std::string end = kNewFileLineEnd;
  EXPECT_NE(ReadFile(file.path).find("VER=[Revision:X] [SubEdition:Y]" + end), std::string::npos);
  // Saving again over the file rewrites in place and keeps foreign lines.
  const std::string withExtra = ReadFile(file.path) + "[Notes]" + end + "Who=me" + end;
  WriteFile(file.path, withExtra);
  WriteConfigFile(file, saved, "");
  EXPECT_NE(ReadFile(file.path).find("[Notes]" + end + "Who=me" + end), std::string::npos);
  EXPECT_EQ(ReadFile(file.path).size(), withExtra.size() - std::string("[Revision:X] [SubEdition:Y]").size());
}

TEST(ConfigFile, LoadsAFileFromTheOtherPlatform) {
  CIniFile file(Data("windows-config.ini"));
  CFormValues v = Filled();
  ReadConfigFile(file, v);
  EXPECT_EQ(v.Text(Apn), "internet.example");
  EXPECT_EQ(v.Address(BeiIp), (Octets{44, 2, 3, 4}));    // octets cut to 8 bits
  EXPECT_EQ(v.Text(PhoneName[1]), "J\xf6rg M\xfcller");  // bytes kept as they are
  EXPECT_EQ(v.Number(FenceBox[1]), 1);
  EXPECT_EQ(v.Number(FenceType[1]), 2);
  EXPECT_EQ(v.Text(Pin), "");  // section names match in any case
  EXPECT_EQ(v.Number(RtoOption), 0);

  // Written back, the file's values come out byte for byte.
  TempDir dir;
  CIniFile copy(dir / "copy.ini");
  v.Address(BeiIp) = {300, 2, 3, 4};  // what the file said
  WriteConfigFile(copy, v, "");
  std::string original = ReadFile(file.path);
  std::string expected;  // a new file: the system's line end
  for (char c : original)
    if (c != '\r') expected += c;
  expected = WithLineEnd(expected, kNewFileLineEnd);
  std::string written = ReadFile(copy.path);
  for (auto* s : {&expected, &written}) {
    const auto rvpin = s->find("[rvpin]");
    if (rvpin != std::string::npos) s->replace(rvpin, 7, "[RVPIN]");
  }
  EXPECT_EQ(written, expected);
}

TEST(ConfigFile, MissingOrForeignFileLoadsDefaults) {
  TempDir dir;
  WriteFile(dir / "other.ini", "[Something]\nelse=1\n");
  CIniFile file(dir / "other.ini");
  CFormValues v = Filled();
  ReadConfigFile(file, v);
  EXPECT_EQ(v.Text(Apn), "");
  EXPECT_EQ(v.Number(ReportMode), 0);
  EXPECT_EQ(v.Address(SriIp), (Octets{0, 0, 0, 0}));
}

TEST(ConfigFile, ABinaryFileIsRefusedAndTheFormStays) {
  // A picture picked by mistake: its NUL bytes tell it from any text file,
  // whatever key-like lines it may hold.
  TempDir dir;
  WriteFile(dir / "photo.ini", std::string("\x89PNG\r\n\x1a\n\0\0\0\r[RVSRI]\nAPN=x\n", 26));
  CFormValues v = Filled();
  const CFormValues before = v;
  const ConfigLoad load = ReadConfigFile(CIniFile(dir / "photo.ini"), v);
  EXPECT_FALSE(load.file);
  EXPECT_EQ(load.file.Lines(), dir / "photo.ini" + "\nreading: not a config file (it holds binary data)");
  EXPECT_EQ(v.Text(Apn), before.Text(Apn));
  EXPECT_EQ(v.Address(SriIp), before.Address(SriIp));
}

TEST(ConfigFile, OneWriteSaveEqualsTheKeyByKeyRewrite) {
  // What the save used to do: one private-profile write per key, in order,
  // each reading the file anew and writing it back.
  auto keyByKey = [](std::string bytes, const CFormValues& v, const std::string& version) {
    for (const ConfigKey& k : ConfigKeys()) {
      CIniText text = CIniText::Parse(bytes);
      switch (k.encoding) {
        case Encoding::Text: text.Set(k.section, k.key, k.id ? v.Text(k.id) : version); break;
        case Encoding::Flag: text.SetBool(k.section, k.key, v.Number(k.id) != 0); break;
        case Encoding::Octet: text.SetInt(k.section, k.key, v.Address(k.id)[k.octet]); break;
        default: text.SetInt(k.section, k.key, v.Number(k.id)); break;
      }
      bytes = text.Serialize();
    }
    return bytes;
  };
  TempDir dir;
  const CFormValues filled = Filled();
  const std::vector<std::string> starts = {
      "",
      ReadFile(Data("fresh-config.ini")),
      ReadFile(Data("windows-config.ini")),
      "; mine\n[Notes]\nWho=me\n[RVBEI]\nPosiDelay=9\nMine=1\n\n[rvsri]\r\nAPN = spaced \r\n",
      "\xEF\xBB\xBF[RVTRI]\rStartTime=0800\r",
      "[RVPIN]\nPIN=1"};
  for (std::size_t i = 0; i < starts.size(); ++i) {
    for (const CFormValues& v : {filled, CFormValues()}) {
      CIniFile once(dir / ("once" + std::to_string(i) + ".ini"));
      if (!starts[i].empty()) WriteFile(once.path, starts[i]);
      ASSERT_TRUE(WriteConfigFile(once, v, "[Revision:R]"));
      EXPECT_EQ(ReadFile(once.path), keyByKey(starts[i], v, "[Revision:R]")) << "start " << i;
    }
  }
}

TEST(ConfigFile, SavingTheLoadedValuesOverTheReferenceGivesItBackByteForByte) {
  TempDir dir;
  for (const char* name : {"fresh-config.ini", "windows-config.ini"}) {
    const std::string original = ReadFile(Data(name));
    CIniFile file(dir / name);
    WriteFile(file.path, original);
    CFormValues v;
    ASSERT_TRUE(ReadConfigFile(file, v).file);
    if (std::string(name) == "windows-config.ini") v.Address(BeiIp)[0] = 300;  // what the file says
    ASSERT_TRUE(WriteConfigFile(file, v, ""));
    EXPECT_EQ(ReadFile(file.path), original) << name;
  }
}

TEST(ConfigFile, CommasInLoadedTextsAreReportedAndDropped) {
  TempDir dir;
  CIniFile file(dir / "commas.ini");
  WriteFile(file.path,
            "[RVSRI]\nAPN=inter,net\nRepMode=1,2\n[RVGEO]\nLongitude2=12,5\n[RVKPN]\nPhoneName0=,A,,B,\n"
            "[INFO]\nVER=a,b\n");
  CFormValues v;
  const ConfigLoad load = ReadConfigFile(file, v);
  ASSERT_TRUE(load.file);
  EXPECT_EQ(load.keysWithCommas,
            (std::vector<std::string>{"RVSRI/APN", "RVGEO/Longitude2", "RVKPN/PhoneName0"}));
  EXPECT_EQ(v.Text(Apn), "internet");
  EXPECT_EQ(v.Text(Longitude[1]), "125");
  EXPECT_EQ(v.Text(PhoneName[0]), "AB");
  EXPECT_EQ(v.Number(ReportMode), 1);  // a number reads up to the comma anyway

  WriteFile(file.path, "[RVSRI]\nAPN=internet\n");
  EXPECT_TRUE(ReadConfigFile(file, v).keysWithCommas.empty());
}

TEST(ConfigFile, ControlCharactersInLoadedTextsAreReportedAndDropped) {
  TempDir dir;
  CIniFile file(dir / "control.ini");
  for (const HostileValue& h : HostileValues()) {
    if (!h.fitsInFile) continue;
    WriteFile(file.path, "[RVSRI]\nAPN=" + h.value + "\nIP2=168\rIP3=10\n[INFO]\nVER=" + h.value + "\n");
    CFormValues v;
    const ConfigLoad load = ReadConfigFile(file, v);
    ASSERT_TRUE(load.file);
    EXPECT_EQ(v.Text(Apn), h.clean) << h.byteName;
    EXPECT_EQ(load.keysWithControlChars,
              h.byteName.empty() ? std::vector<std::string>{} : std::vector<std::string>{"RVSRI/APN"});
    EXPECT_EQ(v.Address(SriIp)[1], 168);  // a number reads up to the control character anyway
  }
}

TEST(ConfigFile, ALoadedTextKeepsNoBlanksItsDroppedBytesLeaveAndSavesAsItLoaded) {
  const std::string cutAtSpace = std::string(CIniFile::kMaxValue - 1, 'a') + " b";  // the cut leaves "a...a "
  const struct {
    const char* name;
    std::string value;   // as the file holds it
    std::string loaded;  // as the form gets it
  } cases[] = {
      {"comma after a space", "m2m ,", "m2m"},
      {"comma before a space", ", m2m", "m2m"},
      {"commas around blanks", ", \t,", ""},
      {"control byte before a space", "\x01 m2m", "m2m"},
      {"space between dropped bytes stays", "m2m ,\x1b net", "m2m  net"},
      {"cut at the value limit", cutAtSpace, std::string(CIniFile::kMaxValue - 1, 'a')},
      {"nothing dropped", "m2m net", "m2m net"},
  };
  TempDir dir;
  CIniFile file(dir / "blanks.ini"), saved(dir / "saved.ini");
  for (const auto& c : cases) {
    WriteFile(file.path, "[RVSRI]\nAPN=" + c.value + "\n");
    CFormValues v;
    ASSERT_TRUE(ReadConfigFile(file, v).file) << c.name;
    EXPECT_EQ(v.Text(Apn), c.loaded) << c.name;
    ASSERT_TRUE(WriteConfigFile(saved, v, "")) << c.name;
    CFormValues again;
    ASSERT_TRUE(ReadConfigFile(saved, again).file) << c.name;
    EXPECT_EQ(again.Text(Apn), v.Text(Apn)) << c.name;
  }
}
