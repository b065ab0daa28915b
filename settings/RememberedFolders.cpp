#include "settings/RememberedFolders.h"

#include <sys/stat.h>

#include "port/Platform.h"
#include "settings/IniFile.h"

namespace kestrun {

namespace {

constexpr const char* kSection = "Folders";

const FileKindEntry& EntryOf(FileKind kind) {
  for (const FileKindEntry& entry : FileKinds())
    if (entry.kind == kind) return entry;
  return FileKinds().front();  // every kind has its row
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && StatPath(path, st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

const std::vector<FileKindEntry>& FileKinds() {
  static const std::vector<FileKindEntry> kinds = {
      {FileKind::ConfigFile, "ConfigFile", false},
      {FileKind::Template, "Template", false},
      {FileKind::Table, "Table", false},
      {FileKind::ReadToFiles, "ReadToFiles", true},
  };
  return kinds;
}

std::string CRememberedFolders::FolderFor(FileKind kind) const {
  if (mainSettingPath_.empty()) return workingFolder_;
  CIniText text;
  CIniFile(mainSettingPath_).Read(text);  // a file that cannot be read remembers nothing
  const std::string folder = text.GetString(kSection, EntryOf(kind).key, "");
  return IsFolder(folder) ? folder : workingFolder_;
}

FileResult CRememberedFolders::Remember(FileKind kind, const std::string& chosen) {
  if (mainSettingPath_.empty() || chosen.empty()) return {};
  const FileKindEntry& entry = EntryOf(kind);
  const std::string folder = entry.folder ? chosen : FolderOfPath(chosen);
  CIniFile file(mainSettingPath_);
  CIniText text;
  // Nothing to write when the folder is remembered already.
  if (file.Read(text) && text.GetString(kSection, entry.key, "") == folder) return {};
  return file.Update([&](CIniText& ini) { ini.Set(kSection, entry.key, folder); });
}

}  // namespace kestrun
