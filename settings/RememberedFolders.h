// The folder each kind of file was last chosen in, kept in the [Folders]
// section of MainSetting.ini, so that every file dialog opens where the user
// last was for that kind of file, in this run or an earlier one, and in the
// working folder when nothing is remembered or the folder has gone. The kinds
// and their keys are one table (FileKinds); the file is read at every
// question, so two windows of the program share what either remembered.
#pragma once

#include <string>
#include <vector>

#include "settings/SafeFile.h"

namespace kestrun {

enum class FileKind {
  ConfigFile,   // Load and Save Config File
  Template,     // the Provisioning window's template
  Table,        // the Provisioning window's per-tracker table
  ReadToFiles,  // the folder Read to files writes into
};

struct FileKindEntry {
  FileKind kind;
  const char* key;  // its key in [Folders]
  bool folder;      // a folder is chosen (it is remembered itself), not a file in one
};
const std::vector<FileKindEntry>& FileKinds();

class CRememberedFolders {
 public:
  CRememberedFolders() = default;
  // `mainSettingPath`: the MainSetting.ini; `workingFolder`: where a dialog
  // opens when nothing is remembered.
  CRememberedFolders(std::string mainSettingPath, std::string workingFolder)
      : mainSettingPath_(std::move(mainSettingPath)), workingFolder_(std::move(workingFolder)) {}

  // The folder a dialog for `kind` opens in: the one remembered while it is
  // still a folder, else the working folder.
  std::string FolderFor(FileKind kind) const;
  // `chosen` was picked in a dialog for `kind`: the folder it is in (or, for
  // a kind that chooses folders, the folder itself) is remembered. Nothing
  // is written when the file cannot be read, or when there is no file.
  FileResult Remember(FileKind kind, const std::string& chosen);

  const std::string& mainSettingPath() const { return mainSettingPath_; }
  const std::string& workingFolder() const { return workingFolder_; }

 private:
  std::string mainSettingPath_;
  std::string workingFolder_;
};

}  // namespace kestrun
