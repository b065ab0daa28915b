#include "settings/MainSettings.h"

#include "settings/Connection.h"

namespace kestrun {

constexpr const char* kSection = "Main";

std::string BuildMainSettingPath(const std::string& directory) { return directory + "/MainSetting.ini"; }

FileResult CMainSettings::Load() {
  CIniText text;
  return Load(text);
}

FileResult CMainSettings::Load(CIniText& text) {
  const FileResult result = file.Read(text);
  password = text.GetString(kSection, "GenPassword", kDefaultPassword);
  comIndex = text.GetInt(kSection, "ComPort", 0);
  comNumber = text.GetInt(kSection, "ComPortNumber", 0);
  baudIndex = text.GetInt(kSection, "Baudrate", 1);
  pacing = CPacing::FromSetting(text.GetString(kSection, "Pacing", ""));
  journal = text.GetString(kSection, "Journal", "");
  return result;
}

FileResult CMainSettings::Save() {
  return file.Update([this](CIniText& text) {
    text.Set(kSection, "GenPassword", password);
    text.SetInt(kSection, "ComPort", comIndex);
    if (comNumber > 0) text.SetInt(kSection, "ComPortNumber", comNumber);
    text.SetInt(kSection, "Baudrate", baudIndex);
    text.Set(kSection, "Pacing", pacing.Name());
  });
}

}  // namespace kestrun
