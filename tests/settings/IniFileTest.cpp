#include <gtest/gtest.h>

#include "../support/TestSupport.h"
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
  EXPECT_EQ(ReadFile(ini.path), "[Main]\nGenPassword=5830\nComPort=0\nBaudrate=1\n");
  ini.WriteInt("main", "COMPORT", -1);
  EXPECT_EQ(ReadFile(ini.path), "[Main]\nGenPassword=5830\nCOMPORT=-1\nBaudrate=1\n");
  ini.WriteBool("Second", "Flag", true);
  EXPECT_EQ(ini.GetInt("MAIN", "comport", 5), -1);
  EXPECT_TRUE(ini.GetBool("second", "flag", false));
  EXPECT_EQ(ReadFile(ini.path), "[Main]\nGenPassword=5830\nCOMPORT=-1\nBaudrate=1\n[Second]\nFlag=1\n");
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
  for (int index : {1, 7, -1}) EXPECT_EQ(BaudRateForIndex(index), 115200);
  EXPECT_EQ(BaudRateForIndex(0), 57600);
  EXPECT_EQ(BaudRateForIndex(4), 921600);
}
