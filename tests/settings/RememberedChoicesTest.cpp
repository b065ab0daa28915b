// What the windows remember in MainSetting.ini: the Provisioning window's
// choices in [Provisioning], the folder of each kind of file in [Folders].
// Every writer of the file changes its own section and keeps every other
// byte; the original tool's [Main] stays as it wrote it.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>

#include "../support/TestFiles.h"
#include "port/Platform.h"
#include "settings/MainSettings.h"
#include "settings/ProvisioningChoices.h"
#include "settings/RememberedFolders.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

// The file's bytes without the lines of section `section` (its header up to
// the next header), line ends included.
std::string WithoutSection(const std::string& text, const std::string& section) {
  std::string kept;
  bool inside = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string line = text.substr(start, end - start);
    const std::size_t open = line.find('[');
    if (open != std::string::npos && line.find_first_not_of(" \t\xEF\xBB\xBF") == open) {
      std::string name = line.substr(open + 1, section.size() + 1);
      for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      std::string wanted = section + "]";
      for (char& ch : wanted) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      inside = name == wanted;
    }
    if (!inside) kept += line;
    start = end;
  }
  return kept;
}

ProvisioningChoices EveryChoiceSet() {
  ProvisioningChoices c;
  c.templateFile = "/home/fleet/Vorlagen März/template 1.ini";
  c.tableFile = "C:\\Fleet\\table;2.csv";
  c.dealRowsInOrder = true;
  c.skipDone = true;
  c.stationMode = true;
  c.stationAction = "Verify";
  c.columnWidths = {{"COM", 80}, {"IMEI", 131}, {"State", 200}};
  return c;
}

}  // namespace

// Each writer of MainSetting.ini, on files of every form: its values read
// back, and every byte outside its own section is as it was.
TEST(RememberedChoices, EachWriterChangesItsOwnSectionAndKeepsEveryOtherByte) {
  const struct {
    const char* what;
    std::string before;
  } files[] = {
      {"no file yet", ""},
      {"the original tool's file", "[Main]\r\nGenPassword=5830\r\nComPort=0\r\nBaudrate=1\r\n"},
      {"mark, CR LF, comments, unknown keys and sections, no last line end",
       "\xEF\xBB\xBF; kept\r\n[Main]\r\nGenPassword= 12 "
       "\r\nExtra=x\r\n\r\n[Provisioning]\r\nTemplate=old.ini\r\n"
       "Unknown=keep me\r\n; note\r\n[Folders]\r\nTable=/nowhere\r\n[Other]\r\nz=1"},
      {"a last line without its end, no section of ours", "[Main]\nGenPassword=1"},
      {"LF, our sections first and in other letter case",
       "[folders]\nConfigFile=/x\n[PROVISIONING]\nskipdone=1\nColumnWidths=COM:1\n\n[Main]\nGenPassword=7\n"},
  };
  TempDir dir;
  const std::string path = dir / "MainSetting.ini";
  struct Writer {
    const char* section;
    std::function<FileResult()> write;
    std::function<bool()> readsBack;
  };
  const Writer writers[] = {
      {"Provisioning", [&] { return SaveProvisioningChoices(path, EveryChoiceSet()); },
       [&] {
         ProvisioningChoices read;
         return LoadProvisioningChoices(path, read) && read == EveryChoiceSet();
       }},
      {"Main",
       [&] {
         CMainSettings settings;
         settings.file.path = path;
         settings.Load();
         settings.password = "4711";
         return settings.Save();
       },
       [&] {
         CMainSettings settings;
         settings.file.path = path;
         return settings.Load() && settings.password == "4711";
       }},
      {"Folders", [&] { return CRememberedFolders(path, "/").Remember(FileKind::Table, dir / "tables.csv"); },
       [&] { return CRememberedFolders(path, "/").FolderFor(FileKind::Table) == dir.path(); }},
  };
  for (const auto& file : files) {
    for (const Writer& writer : writers) {
      SCOPED_TRACE(std::string(file.what) + ", writing [" + writer.section + "]");
      std::filesystem::remove(path);
      if (!file.before.empty()) WriteFile(path, file.before);
      ASSERT_TRUE(writer.write());
      EXPECT_TRUE(writer.readsBack());
      const std::string after = ReadFile(path);
      std::string expected = WithoutSection(file.before, writer.section);
      const bool crlf = file.before.empty() ? std::string(kNewFileLineEnd) == "\r\n"
                                            : file.before.find("\r\n") != std::string::npos;
      // A section added after a last line without its end gives that line one.
      if (expected == file.before && !expected.empty() && expected.back() != '\n')
        expected += crlf ? "\r\n" : "\n";
      EXPECT_EQ(WithoutSection(after, writer.section), expected);
      EXPECT_EQ(after.find("\r\n") != std::string::npos, crlf);
    }
  }
}

// Values that another program or a hand wrote: what the window gets.
TEST(RememberedChoices, ValuesOutsideTheirRulesReadAsTheDefaults) {
  const struct {
    const char* lines;
    std::string action;
    std::vector<std::pair<std::string, int>> widths;
    bool station;
  } cases[] = {
      {"StationAction=Verify\nColumnWidths=COM:80,IMEI:130\nStationMode=1",
       "Verify",
       {{"COM", 80}, {"IMEI", 130}},
       true},
      {"StationAction=Read to files...\nStationMode=yes", "Provision", {}, false},
      {"StationAction=verify\nColumnWidths=COM:0,IMEI:-5,:30,Signal:x,State,Time:12",
       "Provision",
       {{"Time", 12}},
       false},
      {"ColumnWidths=A:B:40,,C:999999", "Provision", {{"A:B", 40}}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    const ProvisioningChoices read =
        ReadProvisioningChoices(CIniText::Parse(std::string("[Provisioning]\n") + c.lines + "\n"));
    EXPECT_EQ(read.stationAction, c.action);
    EXPECT_EQ(read.columnWidths, c.widths);
    EXPECT_EQ(read.stationMode, c.station);
    EXPECT_EQ(read.templateFile, "");
  }
  // A column name that could not be read back is not written.
  ProvisioningChoices odd;
  odd.columnWidths = {{"A,B", 10}, {"C", 20}, {"", 5}};
  CIniText text;
  WriteProvisioningChoices(text, odd);
  EXPECT_EQ(ReadProvisioningChoices(text).columnWidths,
            (std::vector<std::pair<std::string, int>>{{"C", 20}}));
}

// Each kind of file has its own folder; a kind that chooses folders keeps
// the folder chosen; a folder that has gone, and a file that cannot be read,
// give the working folder.
TEST(RememberedChoices, EachKindOpensInItsLastFolderElseTheWorkingFolder) {
  TempDir dir;
  const std::string path = dir / "MainSetting.ini";
  const std::string work = dir / "work";
  std::filesystem::create_directories(work);
  CRememberedFolders folders(path, work);
  for (const FileKindEntry& entry : FileKinds()) EXPECT_EQ(folders.FolderFor(entry.kind), work) << entry.key;
  for (const FileKindEntry& entry : FileKinds()) {
    const std::string folder = dir / entry.key;
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(folders.Remember(entry.kind, entry.folder ? folder : folder + "/chosen.ini"));
  }
  for (const FileKindEntry& entry : FileKinds()) {
    EXPECT_EQ(folders.FolderFor(entry.kind), dir / entry.key) << entry.key;
    EXPECT_EQ(CIniText::Parse(ReadFile(path)).GetString("Folders", entry.key, ""), dir / entry.key);
  }
  // Choosing in the same folder again writes nothing.
  const auto written = std::filesystem::last_write_time(path);
  const std::string bytes = ReadFile(path);
  ASSERT_TRUE(folders.Remember(FileKind::Table, dir / "Table/other.csv"));
  EXPECT_EQ(ReadFile(path), bytes);
  EXPECT_EQ(std::filesystem::last_write_time(path), written);

  std::filesystem::remove_all(dir / "Template");
  EXPECT_EQ(folders.FolderFor(FileKind::Template), work);
  EXPECT_EQ(folders.FolderFor(FileKind::Table), dir / "Table");

  // A MainSetting.ini that cannot be read is neither read nor rewritten.
  CRememberedFolders unreadable(dir / "Table", work);  // a folder where the file should be
  EXPECT_EQ(unreadable.FolderFor(FileKind::Table), work);
  EXPECT_FALSE(unreadable.Remember(FileKind::Table, dir / "ConfigFile/x.ini"));
}
