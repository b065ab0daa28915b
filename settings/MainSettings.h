// The connection settings in MainSetting.ini (section Main): device password,
// position of the chosen port in this start-up's port list, and position of
// the baud rate in the baud list.
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

class CMainSettings {
 public:
  void Load();
  void Save();

  CIniFile file;
  std::string password;
  int comIndex = -1;
  int baudIndex = -1;
};

}  // namespace kestrun
