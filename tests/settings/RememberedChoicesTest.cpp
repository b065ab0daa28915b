// What the windows remember in MainSetting.ini: the Provisioning window's
// choices in [Provisioning], the folder of each kind of file in [Folders].
// Every writer of the file changes its own section and keeps every other byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>

#include "../support/TestFiles.h"
#include "port/Platform.h"
#include "settings/MainSettings.h"
#include "settings/ProvisioningChoices.h"
#include "settings/RememberedFolders.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

// The file's bytes without `section`: its header (at a line's start, in any
// letter case) up to the next header.
std::string WithoutSection(const std::string& text, const std::string& section) {
  return std::regex_replace(
      text, std::regex("(^|\n)\\[" + section + "\\][\\s\\S]*?(?=\n\\[|$)", std::regex::icase), "$1");
}

}  // namespace

// Each writer of MainSetting.ini, on files of every form: its values read
// back, and every byte outside its own section is as it was.
TEST(RememberedChoices, EachWriterChangesItsOwnSectionAndKeepsEveryOtherByte) {
  const std::string files[] = {
      "",
      "[Main]\r\nGenPassword=5830\r\nComPort=0\r\nBaudrate=1\r\n",
      "[Main]\nGenPassword=1",  // no last line end
      "\xEF\xBB\xBF; kept\r\n[Main]\r\nGenPassword= 12 "
      "\r\nExtra=x\r\n\r\n[Provisioning]\r\nTemplate=old.ini\r\n"
      "Unknown=keep me\r\n; note\r\n[Folders]\r\nTable=/nowhere\r\n[Other]\r\nz=1",
      "[folders]\nConfigFile=/x\n[PROVISIONING]\nskipdone=1\nColumnWidths=COM:1\n\n[Main]\nGenPassword=7\n",
  };
  // Every choice set; the column names that could not be read back are not written.
  const ProvisioningChoices every = {
      "/home/fleet/Vorlagen März/template 1.ini",        "C:\\Fleet\\table;2.csv", true, true, true, "Verify",
      {{"COM", 80}, {"A,B", 10}, {"IMEI", 131}, {"", 5}}, "62x29"};
  TempDir dir;
  const std::string path = dir / "MainSetting.ini";
  CMainSettings main;
  main.file.path = path;
  const struct {
    const char* section;
    std::function<FileResult()> write;
    std::function<bool()> readsBack;
  } writers[] = {
      {"Provisioning", [&] { return SaveProvisioningChoices(path, every); },
       [&] {
         ProvisioningChoices read, kept = every;
         kept.columnWidths = {{"COM", 80}, {"IMEI", 131}};
         return LoadProvisioningChoices(path, read) && read == kept;
       }},
      {"Main",
       [&] {
         main.Load();
         main.password = "4711";
         return main.Save();
       },
       [&] { return main.Load() && main.password == "4711"; }},
      {"Folders", [&] { return CRememberedFolders(path, "/").Remember(FileKind::Table, dir / "t.csv"); },
       [&] { return CRememberedFolders(path, "/").FolderFor(FileKind::Table) == dir.path(); }},
  };
  for (const std::string& before : files) {
    for (const auto& writer : writers) {
      SCOPED_TRACE(before + "\nwriting [" + writer.section + "]");
      std::filesystem::remove(path);
      if (!before.empty()) WriteFile(path, before);
      ASSERT_TRUE(writer.write());
      EXPECT_TRUE(writer.readsBack());
      const std::string after = ReadFile(path);
      const bool crlf =
          before.empty() ? std::string(kNewFileLineEnd) == "\r\n" : before.find("\r\n") != std::string::npos;
      std::string expected = WithoutSection(before, writer.section);
      // A section added after a last line without its end gives that line one.
      if (expected == before && !expected.empty() && expected.back() != '\n')
        expected += crlf ? "\r\n" : "\n";
      EXPECT_EQ(WithoutSection(after, writer.section), expected);
      EXPECT_EQ(after.find("\r\n") != std::string::npos, crlf);
    }
  }
}

// Values a hand or another program wrote: what the window gets (the values
// within the rules are the writers' round trip above).
TEST(RememberedChoices, ValuesOutsideTheirRulesReadAsTheDefaults) {
  const std::pair<const char*, std::vector<std::pair<std::string, int>>> cases[] = {
      {"StationAction=verify\nColumnWidths=COM:0,IMEI:-5,:30,Signal:x,State,Time:12", {{"Time", 12}}},
      {"StationAction=Read to files...\nColumnWidths=A:B:40,,C:999999", {{"A:B", 40}}}};
  for (const auto& [lines, widths] : cases) {
    SCOPED_TRACE(lines);
    const ProvisioningChoices read =
        ReadProvisioningChoices(CIniText::Parse(std::string("[Provisioning]\n") + lines + "\n"));
    EXPECT_EQ(read.stationAction, "Provision");
    EXPECT_EQ(read.columnWidths, widths);
  }
}

// Each kind of file has its own folder; a kind that chooses folders keeps
// the folder chosen; a folder that has gone, and a file that cannot be read,
// give the working folder.
TEST(RememberedChoices, EachKindOpensInItsLastFolderElseTheWorkingFolder) {
  TempDir dir;
  const std::string work = dir.path();
  CRememberedFolders folders(dir / "MainSetting.ini", work);
  for (const FileKindEntry& entry : FileKinds()) {
    EXPECT_EQ(folders.FolderFor(entry.kind), work) << entry.key;
    std::filesystem::create_directories(dir / entry.key);
    ASSERT_TRUE(
        folders.Remember(entry.kind, entry.folder ? dir / entry.key : dir / entry.key + "/chosen.ini"));
  }
  for (const FileKindEntry& entry : FileKinds()) EXPECT_EQ(folders.FolderFor(entry.kind), dir / entry.key);
  std::filesystem::remove_all(dir / "Template");
  EXPECT_EQ(folders.FolderFor(FileKind::Template), work);

  CRememberedFolders unreadable(dir / "Table", work);  // a folder where the file should be
  EXPECT_EQ(unreadable.FolderFor(FileKind::Table), work);
  EXPECT_FALSE(unreadable.Remember(FileKind::Table, dir / "ConfigFile/x.ini"));
}
