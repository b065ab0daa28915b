#include "settings/ConfigFile.h"

#include <algorithm>
#include <iterator>

#include "protocol/ControlChars.h"
#include "protocol/ControlIds.h"

namespace kestrun {

namespace {

// The fields in the order their keys stand in a file; each key's section and
// name come from the field's row of the form fields' table.
std::vector<int> FileOrder() {
  using namespace ctl;
  std::vector<int> ids = {ReportMode, Apn,   ApnUser,       ApnPassword, SriPort, SmsGateway,   SriIp,
                          BeiPort,    BeiIp, PositionDelay, BeginTime,   EndTime, SendInterval, FixInterval};
  for (const int* run : {FenceBox, Longitude, Latitude, Radius, CheckInterval, FenceType})
    ids.insert(ids.end(), run, run + 4);
  ids.push_back(RtoOption);
  ids.insert(ids.end(), {OverSpeedAlarm, SpeedLimited});
  ids.insert(ids.end(), std::begin(BacAlarmFlag), std::end(BacAlarmFlag));
  ids.insert(ids.end(), {InfoReportFlag, InfoReportPeriod, MovDetMode, MovSpeed, MovDistance, SendNum});
  for (const int* run : {KeyBox, PhoneNumber, PhoneName}) ids.insert(ids.end(), run, run + 5);
  ids.insert(ids.end(), KpnEnable + 1, KpnEnable + 5);
  ids.insert(ids.end(), AutoAnswer + 1, AutoAnswer + 3);
  ids.insert(ids.end(), {CallFilter, MobileStart, MobileEnd, GglMode});
  ids.insert(ids.end(), std::begin(WhiteNumber), std::end(WhiteNumber));
  ids.insert(ids.end(), {AutoUnlock, PinCheck, Pin});
  return ids;
}

Encoding EncodingOf(ValueKind kind) {
  switch (kind) {
    case ValueKind::Text: return Encoding::Text;
    case ValueKind::Flag: return Encoding::Flag;
    case ValueKind::Address: return Encoding::Octet;
    default: return Encoding::Index;
  }
}

std::vector<ConfigKey> MakeKeys() {
  std::vector<ConfigKey> keys;
  for (int id : FileOrder()) {
    const FormField& f = *FindFormField(id);
    if (f.kind == ValueKind::Address) {
      for (int i = 0; i < 4; ++i)
        keys.push_back({f.section.c_str(), f.key + std::to_string(i + 1), Encoding::Octet, id, i});
    } else {
      keys.push_back({f.section.c_str(), f.key, EncodingOf(f.kind), id, 0});
    }
  }
  keys.push_back({"INFO", "VER", Encoding::Text, 0, 0});
  return keys;
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

bool HoldsBinaryOutsideValues(std::string_view bytes, const CIniText& text) {
  const auto inBytes = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\0'));
  if (inBytes == 0) return false;
  std::size_t inValues = 0;
  for (const ConfigKey& k : ConfigKeys()) {
    std::string value;
    if (text.Find(k.section, k.key, value))
      inValues += static_cast<std::size_t>(std::count(value.begin(), value.end(), '\0'));
  }
  return inValues < inBytes;
}

ConfigLoad ReadConfigFile(const CIniFile& file, CFormValues& values) {
  ConfigLoad load;
  std::string bytes;
  bool exists = false;
  load.file = ReadSettingsFile(file.path, bytes, exists);
  if (!load.file) return load;
  const CIniText text = CIniText::Parse(bytes);
  if (HoldsBinaryOutsideValues(bytes, text)) {
    load.file = FileResult::Failure(file.path, "reading", kBinaryFileReason);
    return load;
  }
  for (const ConfigKey& k : ConfigKeys()) {
    if (k.id == 0) continue;  // INFO/VER is written, never read back
    switch (k.encoding) {
      case Encoding::Text: {
        std::string value = text.GetString(k.section, k.key, "");
        const std::string name = std::string(k.section) + "/" + k.key;
        if (value.find(',') != std::string::npos) {
          load.keysWithCommas.push_back(name);
          std::erase(value, ',');
        }
        if (HasControlBytes(value)) {
          load.keysWithControlChars.push_back(name);
          value = WithoutControlBytes(value);
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
