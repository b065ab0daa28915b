#include <gtest/gtest.h>

#include "../support/TestSupport.h"
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
  EXPECT_EQ(ConfigKeys().size(), 100u);
  std::vector<std::string> sections;
  for (const ConfigKey& k : ConfigKeys())
    if (sections.empty() || sections.back() != k.section) sections.push_back(k.section);
  EXPECT_EQ(sections, (std::vector<std::string>{"RVSRI", "RVBEI", "RVTRI", "RVGEO", "RVRTO", "RVBAC", "RVKPN",
                                                "RVWLT", "RVPIN", "INFO"}));
}

TEST(ConfigFile, FreshSaveWritesTheExpectedFileByteForByte) {
  TempDir dir;
  CIniFile file(dir / "new.ini");
  WriteConfigFile(file, CFormValues(), "");
  EXPECT_EQ(ReadFile(file.path), ReadFile(Data("fresh-config.ini")));
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
  EXPECT_NE(ReadFile(file.path).find("VER=[Revision:X] [SubEdition:Y]\n"), std::string::npos);
  // Saving again over the file rewrites in place and keeps foreign lines.
  const std::string withExtra = ReadFile(file.path) + "[Notes]\nWho=me\n";
  WriteFile(file.path, withExtra);
  WriteConfigFile(file, saved, "");
  EXPECT_NE(ReadFile(file.path).find("[Notes]\nWho=me\n"), std::string::npos);
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
  std::string expected;
  for (char c : original)
    if (c != '\r') expected += c;
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
