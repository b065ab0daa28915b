#include <gtest/gtest.h>
#include <sys/stat.h>

#include "../support/TestFiles.h"
#include "settings/Connection.h"
#include "settings/IniFile.h"
#include "settings/MainSettings.h"

using namespace kestrun;
using namespace kestrun::testing;

TEST(IniFile, MissingFileSectionOrKeyGivesTheDefault) {
  TempDir dir;
  CIniFile ini(dir / "none.ini");
  EXPECT_EQ(ini.GetInt("Main", "ComPort", 7), 7);
  EXPECT_EQ(ini.GetString("Main", "GenPassword", "5830"), "5830");
  EXPECT_TRUE(ini.GetBool("Main", "X", true));
  WriteFile(ini.path, "[Main]\nComPort=3\n");
  EXPECT_EQ(ini.GetInt("Other", "ComPort", 7), 7);
  EXPECT_EQ(ini.GetInt("Main", "Baudrate", 1), 1);
}

TEST(IniFile, CreatesWritesInOrderAndReplacesInPlace) {
  TempDir dir;
  CIniFile ini(dir / "MainSetting.ini");
  ini.WriteString("Main", "GenPassword", "5830");
  ini.WriteInt("Main", "ComPort", 0);
  ini.WriteInt("Main", "Baudrate", 1);
  // A new file takes the system's line end (CR LF on Windows).
  EXPECT_EQ(ReadFile(ini.path), WithLineEnd("[Main]\nGenPassword=5830\nComPort=0\nBaudrate=1\n", kNewFileLineEnd));
  ini.WriteInt("main", "COMPORT", -1);
  EXPECT_EQ(ReadFile(ini.path), WithLineEnd("[Main]\nGenPassword=5830\nCOMPORT=-1\nBaudrate=1\n", kNewFileLineEnd));
  ini.WriteBool("Second", "Flag", true);
  EXPECT_EQ(ini.GetInt("MAIN", "comport", 5), -1);
  EXPECT_TRUE(ini.GetBool("second", "flag", false));
  EXPECT_EQ(ReadFile(ini.path),
            WithLineEnd("[Main]\nGenPassword=5830\nCOMPORT=-1\nBaudrate=1\n[Second]\nFlag=1\n", kNewFileLineEnd));
}

TEST(IniFile, KeepsOtherLinesAndCrLfEnds) {
  TempDir dir;
  CIniFile ini(dir / "c.ini");
  WriteFile(ini.path, "; kept\r\n[A]\r\nx = 1 \r\n\r\n[B]\r\ny=2\r\n");
  EXPECT_EQ(ini.GetInt("A", "x", 0), 1);
  EXPECT_EQ(ini.GetString("A", "x", ""), "1");
  ini.WriteString("A", "z", "new");
  ini.WriteString("B", "y", "3");
  EXPECT_EQ(ReadFile(ini.path), "; kept\r\n[A]\r\nx = 1 \r\nz=new\r\n\r\n[B]\r\ny=3\r\n");
}

TEST(IniFile, BoolRuleAndValueCap) {
  TempDir dir;
  CIniFile ini(dir / "b.ini");
  WriteFile(ini.path, "[S]\nzero=0\nneg=-3\ntwo=2\nword=yes\nlong=" + std::string(3000, 'v') + "\n");
  EXPECT_FALSE(ini.GetBool("S", "zero", true));
  EXPECT_FALSE(ini.GetBool("S", "neg", true));
  EXPECT_TRUE(ini.GetBool("S", "two", false));
  EXPECT_FALSE(ini.GetBool("S", "word", true));
  EXPECT_EQ(ini.GetString("S", "long", "").size(), 2047u);
  EXPECT_EQ(ini.GetInt("S", "word", 9), 0);
}

TEST(IniFile, UnwritableFileIsLeftAloneWithoutAHalfWrittenCopy) {
  TempDir dir;
  CIniFile ini(dir / "missing/dir/x.ini");
  EXPECT_FALSE(ini.WriteInt("S", "k", 1));
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST(MainSettings, DefaultsAndBaudIndices) {
  TempDir dir;
  CMainSettings settings;
  settings.file.path = BuildMainSettingPath(dir.path());
  EXPECT_EQ(settings.file.path, dir / "MainSetting.ini");
  settings.Load();
  EXPECT_EQ(settings.password, "5830");
  EXPECT_EQ(settings.comIndex, 0);
  EXPECT_EQ(settings.baudIndex, 1);
  settings.password = "";
  settings.Save();
  settings.Load();
  EXPECT_EQ(settings.password, "");  // an empty password stays empty
  // The port's number is stored beside its position once it is known.
  EXPECT_EQ(ReadFile(settings.file.path).find("ComPortNumber"), std::string::npos);
  settings.comNumber = 33;
  settings.Save();
  EXPECT_NE(ReadFile(settings.file.path).find(WithLineEnd("\nComPortNumber=33\n", kNewFileLineEnd)), std::string::npos);
  settings.comNumber = 0;
  settings.Load();
  EXPECT_EQ(settings.comNumber, 33);
  for (int index : {1, 7, -1}) EXPECT_EQ(BaudRateForIndex(index), 115200);
  EXPECT_EQ(BaudRateForIndex(0), 57600);
  EXPECT_EQ(BaudRateForIndex(4), 921600);
}

TEST(IniFile, CarriageReturnLineEndsAreLineEndsAndStay) {
  TempDir dir;
  CIniFile ini(dir / "mac.ini");
  WriteFile(ini.path, "[A]\rx=1\r; note\r[B]\ry=2\r");
  EXPECT_EQ(ini.GetInt("A", "x", 0), 1);
  EXPECT_EQ(ini.GetInt("B", "y", 0), 2);
  ASSERT_TRUE(ini.WriteString("A", "z", "new"));
  ASSERT_TRUE(ini.WriteString("B", "y", "3"));
  EXPECT_EQ(ReadFile(ini.path), "[A]\rx=1\r; note\rz=new\r[B]\ry=3\r");
  // Without a line end at the end, none is added.
  WriteFile(ini.path, "[A]\rx=1");
  ASSERT_TRUE(ini.WriteString("A", "x", "2"));
  EXPECT_EQ(ReadFile(ini.path), "[A]\rx=2");
}

TEST(IniFile, TextParsesOnceAndSerializesWhatItRead) {
  for (const std::string bytes :
       {"", "[A]", "[A]\nx=1", "\xEF\xBB\xBF", "; c\r\n\r\n[A]\r\n x = 1 \r\n", "[A]\rb\r", "a\nb\r\nc\n"}) {
    const CIniText text = CIniText::Parse(bytes);
    // Mixed LF and CR LF ends become CR LF, as the in-place rewrite always did.
    const std::string expected = bytes == "a\nb\r\nc\n" ? "a\r\nb\r\nc\r\n" : bytes;
    EXPECT_EQ(text.Serialize(), expected);
  }
  CIniText text = CIniText::Parse("[A]\nx=1\n[a]\ny=2\n");
  std::string value;
  EXPECT_TRUE(text.Find("A", "Y", value));  // a second section of the same name is searched too
  EXPECT_EQ(value, "2");
  text.Set("a", "y", "3");  // a write goes to the first one
  EXPECT_EQ(text.Serialize(), "[A]\nx=1\ny=3\n[a]\ny=2\n");
}

TEST(IniFile, FileThatCannotBeReadIsNeitherReadNorRewritten) {
  TempDir dir;
  CMainSettings settings;
  settings.file.path = dir / "MainSetting.ini";
  // Too large to be a settings file: its other sections must not be lost.
  const std::string big =
      "[Other]\nnote=" + std::string(kMaxSettingsFileSize, 'x') + "\n[Main]\nGenPassword=1\n";
  WriteFile(settings.file.path, big);
  const FileResult load = settings.Load();
  EXPECT_FALSE(load);
  EXPECT_EQ(settings.password, "5830");  // the defaults
  settings.password = "new";
  const FileResult save = settings.Save();
  EXPECT_FALSE(save);
  EXPECT_EQ(save.path, settings.file.path);
  EXPECT_NE(save.step.find("left as it is"), std::string::npos) << save.Message();
  EXPECT_EQ(ReadFile(settings.file.path), big);

  // Mode 000: unreadable for a user, read-only by its mode for root; either
  // way the file stays as it is.
  WriteFile(settings.file.path, "[Other]\nkeep=1\n[Main]\nGenPassword=1\n");
  ASSERT_EQ(::chmod(settings.file.path.c_str(), 0), 0);
  EXPECT_FALSE(settings.Save());
  ::chmod(settings.file.path.c_str(), 0600);
  EXPECT_EQ(ReadFile(settings.file.path), "[Other]\nkeep=1\n[Main]\nGenPassword=1\n");
}

// A load and a save with one change keep the file's own form.
TEST(MainSettings, SaveKeepsTheFilesFormAndOtherKeys) {
  const struct {
    const char* what;
    std::string before;
    const char* password;
    int comIndex, baudIndex;
    bool fastAfter;  // the change: the password "9", or the fast pacing
    std::string after;
  } cases[] = {
      {"byte order mark and CR LF stay; no second [Main]",
       "\xEF\xBB\xBF[Main]\r\nGenPassword=1234\r\nComPort=2\r\nBaudrate=0\r\n", "1234", 2, 0, false,
       "\xEF\xBB\xBF[Main]\r\nGenPassword=9\r\nComPort=2\r\nBaudrate=0\r\nPacing=specified\r\n"},
      {"a file from before the Pacing key: the specified waits, other keys stay",
       "[Main]\nGenPassword=77\nComPort=1\nBaudrate=2\nExtra=x\n", "77", 1, 2, true,
       "[Main]\nGenPassword=77\nComPort=1\nBaudrate=2\nExtra=x\nPacing=fast\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    CMainSettings settings;
    settings.file.path = dir / "MainSetting.ini";
    WriteFile(settings.file.path, c.before);
    ASSERT_TRUE(settings.Load());
    EXPECT_EQ(settings.password, c.password);
    EXPECT_EQ(settings.comIndex, c.comIndex);
    EXPECT_EQ(settings.baudIndex, c.baudIndex);
    EXPECT_EQ(settings.pacing, CPacing::Specified());
    if (c.fastAfter)
      settings.pacing = CPacing::Fast();
    else
      settings.password = "9";
    ASSERT_TRUE(settings.Save());
    EXPECT_EQ(ReadFile(settings.file.path), c.after);
    settings.pacing = CPacing::Specified();
    ASSERT_TRUE(settings.Load());
    EXPECT_EQ(settings.pacing, c.fastAfter ? CPacing::Fast() : CPacing::Specified());
  }
}

TEST(MainSettings, PacingKeyFastOrSpecified) {
  TempDir dir;
  CMainSettings settings;
  settings.file.path = dir / "MainSetting.ini";
  const std::pair<const char*, bool> values[] = {{"FAST", true},       {" fast ", true},  {"", false},
                                                 {"specified", false}, {"faster", false}, {"0", false}};
  for (const auto& [value, fast] : values) {
    WriteFile(settings.file.path, std::string("[Main]\nPacing=") + value + "\n");
    settings.Load();
    EXPECT_EQ(settings.pacing, fast ? CPacing::Fast() : CPacing::Specified()) << value;
  }
  settings.Save();
  EXPECT_NE(ReadFile(settings.file.path).find("Pacing=specified\n"), std::string::npos);
}
