// The connection settings in MainSetting.ini (section Main): device password,
// position of the chosen port in this start-up's port list, position of the
// baud rate in the baud list, and the pacing of the exchange with the tracker.
#pragma once

#include <string>

#include "settings/IniFile.h"

namespace kestrun {

constexpr const char* kBaudItems[] = {"57600", "115200", "230400", "460800", "921600"};
constexpr int kBaudCount = 5;

// The rate a baud index runs at: every index but 0, 2, 3 and 4 gives 115200.
int BaudRateForIndex(int index);

// "<directory>/MainSetting.ini".
std::string BuildMainSettingPath(const std::string& directory);

// How the exchange with the tracker is paced: with the waits the tracker is
// known to need, or fast. Stored as "Pacing=specified" or "Pacing=fast"; a
// file without the key, or with any other value, means the specified waits.
enum class PacingSetting { Specified, Fast };

class CMainSettings {
 public:
  // Reads the file once. A missing file gives the defaults; so does one that
  // cannot be read, and the result says why.
  FileResult Load();
  // The same, handing back the text read, for a caller that checks raw values.
  FileResult Load(CIniText& text);
  // Writes GenPassword, ComPort, Baudrate and Pacing in one replace of the
  // file; every other line stays. A file that cannot be read is not written.
  FileResult Save();

  CIniFile file;
  std::string password;
  int comIndex = -1;
  int baudIndex = -1;
  PacingSetting pacing = PacingSetting::Specified;
};

}  // namespace kestrun
