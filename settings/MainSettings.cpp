#include "settings/MainSettings.h"

#include <cctype>

namespace kestrun {

namespace {

constexpr const char* kSection = "Main";

bool IsFast(const std::string& value) {
  static const std::string kFast = "fast";
  if (value.size() != kFast.size()) return false;
  for (std::size_t i = 0; i < value.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(value[i])) != kFast[i]) return false;
  return true;
}

}  // namespace

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

FileResult CMainSettings::Load() {
  CIniText text;
  return Load(text);
}

FileResult CMainSettings::Load(CIniText& text) {
  const FileResult result = file.Read(text);
  password = text.GetString(kSection, "GenPassword", "5830");
  comIndex = text.GetInt(kSection, "ComPort", 0);
  baudIndex = text.GetInt(kSection, "Baudrate", 1);
  pacing = IsFast(text.GetString(kSection, "Pacing", "")) ? PacingSetting::Fast : PacingSetting::Specified;
  return result;
}

FileResult CMainSettings::Save() {
  return file.Update([this](CIniText& text) {
    text.Set(kSection, "GenPassword", password);
    text.SetInt(kSection, "ComPort", comIndex);
    text.SetInt(kSection, "Baudrate", baudIndex);
    text.Set(kSection, "Pacing", pacing == PacingSetting::Fast ? "fast" : "specified");
  });
}

}  // namespace kestrun
