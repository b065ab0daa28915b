#include "settings/ConfigFile.h"

#include "protocol/ControlIds.h"

namespace kestrun {

namespace {

std::vector<ConfigKey> MakeKeys() {
  using namespace ctl;
  using E = Encoding;
  std::vector<ConfigKey> k;
  auto add = [&](const char* section, std::string key, E encoding, int id, int octet = 0) {
    k.push_back({section, std::move(key), encoding, id, octet});
  };
  auto octets = [&](const char* section, int id) {
    for (int i = 0; i < 4; ++i) add(section, "IP" + std::to_string(i + 1), E::Octet, id, i);
  };
  auto run = [&](const char* section, const char* stem, E encoding, const int* ids, int first, int last) {
    for (int i = first; i <= last; ++i) add(section, stem + std::to_string(i), encoding, ids[i - first]);
  };

  add("RVSRI", "RepMode", E::Index, ReportMode);
  add("RVSRI", "APN", E::Text, Apn);
  add("RVSRI", "GprsUser", E::Text, ApnUser);
  add("RVSRI", "Password", E::Text, ApnPassword);
  add("RVSRI", "ServerPort", E::Text, SriPort);
  add("RVSRI", "SmsGateway", E::Text, SmsGateway);
  octets("RVSRI", SriIp);

  add("RVBEI", "ServerPort", E::Text, BeiPort);
  octets("RVBEI", BeiIp);
  add("RVBEI", "PosiDelay", E::Text, PositionDelay);

  add("RVTRI", "StartTime", E::Text, BeginTime);
  add("RVTRI", "EndTime", E::Text, EndTime);
  add("RVTRI", "SendInterval", E::Text, SendInterval);
  add("RVTRI", "FizInterval", E::Text, FixInterval);

  run("RVGEO", "ID_", E::Flag, FenceBox, 1, 4);
  run("RVGEO", "Longitude", E::Text, Longitude, 1, 4);
  run("RVGEO", "Latitude", E::Text, Latitude, 1, 4);
  run("RVGEO", "Radius", E::Text, Radius, 1, 4);
  run("RVGEO", "CekInv", E::Text, CheckInterval, 1, 4);
  run("RVGEO", "Type", E::Index, FenceType, 1, 4);

  add("RVRTO", "CmdOptionIdx", E::Index, RtoOption);

  add("RVBAC", "OSA", E::Flag, OverSpeedAlarm);
  add("RVBAC", "SpeedLimited", E::Text, SpeedLimited);
  const char* runNames[] = {"FPO",   "FakeGhost",  "TimingReport",  "GeoFencing",    "LostTrace",
                            "Sound", "OnOffAlert", "PowerLowAlert", "InfoReportFlag"};
  for (int i = 0; i < 9; ++i) add("RVBAC", runNames[i], E::Flag, BacFlagRun[i]);
  add("RVBAC", "InfoReportPeriod", E::Text, InfoReportPeriod);
  add("RVBAC", "MovDetMode", E::Flag, MovDetMode);
  add("RVBAC", "MovSpeed", E::Text, MovSpeed);
  add("RVBAC", "MovDistance", E::Text, MovDistance);
  add("RVBAC", "SendNum", E::Text, SendNum);

  run("RVKPN", "Key", E::Flag, KeyBox, 0, 4);
  run("RVKPN", "PhoneNum", E::Text, PhoneNumber, 0, 4);
  run("RVKPN", "PhoneName", E::Text, PhoneName, 0, 4);
  run("RVKPN", "KpnEnable", E::Index, KpnEnable + 1, 1, 4);
  run("RVKPN", "AutoAnswer", E::Index, AutoAnswer + 1, 1, 2);

  add("RVWLT", "CallFilter", E::Index, CallFilter);
  add("RVWLT", "MobileStart", E::Index, MobileStart);
  add("RVWLT", "MobileEnd", E::Index, MobileEnd);
  add("RVWLT", "Ggl_Mode", E::Index, GglMode);
  run("RVWLT", "Numb", E::Text, WhiteNumber, 1, 10);

  add("RVPIN", "AutoUnlockPin", E::Index, AutoUnlock);
  add("RVPIN", "PinCheck", E::Index, PinCheck);
  add("RVPIN", "PIN", E::Text, Pin);

  add("INFO", "VER", E::Text, 0);
  return k;
}

}  // namespace

const std::vector<ConfigKey>& ConfigKeys() {
  static const std::vector<ConfigKey> keys = MakeKeys();
  return keys;
}

FileResult WriteConfigFile(CIniFile& file, const CFormValues& values, const std::string& version) {
  return file.Update([&](CIniText& text) {
    for (const ConfigKey& k : ConfigKeys()) {
      switch (k.encoding) {
        case Encoding::Text: text.Set(k.section, k.key, k.id ? values.Text(k.id) : version); break;
        case Encoding::Flag: text.SetBool(k.section, k.key, values.Number(k.id) != 0); break;
        case Encoding::Octet: text.SetInt(k.section, k.key, values.Address(k.id)[k.octet]); break;
        case Encoding::Int:
        case Encoding::Index: text.SetInt(k.section, k.key, values.Number(k.id)); break;
      }
    }
  });
}

ConfigLoad ReadConfigFile(const CIniFile& file, CFormValues& values) {
  ConfigLoad load;
  CIniText text;
  load.file = file.Read(text);
  if (!load.file) return load;
  for (const ConfigKey& k : ConfigKeys()) {
    if (k.id == 0) continue;  // INFO/VER is written, never read back
    switch (k.encoding) {
      case Encoding::Text: {
        std::string value = text.GetString(k.section, k.key, "");
        if (value.find(',') != std::string::npos) {
          load.keysWithCommas.push_back(std::string(k.section) + "/" + k.key);
          std::erase(value, ',');
        }
        values.Text(k.id) = std::move(value);
        break;
      }
      case Encoding::Flag: values.Number(k.id) = text.GetBool(k.section, k.key, false) ? 1 : 0; break;
      case Encoding::Octet: values.Address(k.id)[k.octet] = text.GetInt(k.section, k.key, 0) & 0xFF; break;
      case Encoding::Int:
      case Encoding::Index: values.Number(k.id) = text.GetInt(k.section, k.key, 0); break;
    }
  }
  return load;
}

}  // namespace kestrun
