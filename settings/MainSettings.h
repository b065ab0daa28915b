// The connection settings in MainSetting.ini (section Main): device password,
// position of the chosen port in this start-up's port list and that port's COM
// number, position of the baud rate in the baud list, the pacing of the
// exchange with the tracker, and where the window's journal rows go. The
// other sections of the file ([Provisioning], [Folders], anything another
// program put there) are never touched here: Save changes [Main] alone.
#pragma once

#include <string>

#include "port/Pacing.h"
#include "settings/IniFile.h"

namespace kestrun {

// "<directory>/MainSetting.ini".
std::string BuildMainSettingPath(const std::string& directory);

class CMainSettings {
 public:
  // Reads the file once. A missing file gives the defaults; so does one that
  // cannot be read, and the result says why.
  FileResult Load();
  // The same, handing back the text read, for a caller that checks raw values.
  FileResult Load(CIniText& text);
  // Writes GenPassword, ComPort, ComPortNumber (when known), Baudrate and
  // Pacing in one replace of the
  // file; every other line stays. A file that cannot be read is not written.
  FileResult Save();

  CIniFile file;
  std::string password;
  int comIndex = -1;
  // The chosen port's COM number (ComPortNumber); 0: not stored. The
  // position alone names another port once the machine's ports change.
  int comNumber = 0;
  int baudIndex = -1;
  // Stored as "Pacing=specified" or "Pacing=fast"; read as CPacing::FromSetting
  // reads it.
  CPacing pacing;
  // Journal=: where the window's journal rows go (a SQLite file or a
  // postgresql:// URL); empty: not set. Read only: Save keeps the line as it is.
  std::string journal;
};

}  // namespace kestrun
