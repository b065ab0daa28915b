#include "settings/MainSettings.h"

namespace kestrun {

int BaudRateForIndex(int index) {
  switch (index) {
    case 0: return 57600;
    case 2: return 230400;
    case 3: return 460800;
    case 4: return 921600;
    default: return 115200;
  }
}

std::string BuildMainSettingPath(const std::string& directory) { return directory + "/MainSetting.ini"; }

void CMainSettings::Load() {
  password = file.GetString("Main", "GenPassword", "5830");
  comIndex = file.GetInt("Main", "ComPort", 0);
  baudIndex = file.GetInt("Main", "Baudrate", 1);
}

void CMainSettings::Save() {
  file.WriteString("Main", "GenPassword", password);
  file.WriteInt("Main", "ComPort", comIndex);
  file.WriteInt("Main", "Baudrate", baudIndex);
}

}  // namespace kestrun
