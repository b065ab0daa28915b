#include "settings/ConfigFile.h"

#include <algorithm>

#include "settings/KeyCodec.h"

namespace kestrun {

namespace {

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
  for (const FormField* field : FileOrder()) {
    const FormField& f = *field;
    if (f.kind == ValueKind::Address) {
      for (int i = 0; i < 4; ++i)
        keys.push_back({f.section.c_str(), f.key + std::to_string(i + 1), Encoding::Octet, f.id, i});
    } else {
      keys.push_back({f.section.c_str(), f.key, EncodingOf(f.kind), f.id, 0});
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
    for (const ConfigKey& k : ConfigKeys()) text.Set(k.section, k.key, k.id ? KeyText(k, values) : version);
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
    std::string raw;          // a missing key reads as empty: its default
    text.Find(k.section, k.key, raw);
    const KeyRead read = SetFromKeyText(k, raw, values);
    const std::string name = std::string(k.section) + "/" + k.key;
    if (read.comma) load.keysWithCommas.push_back(name);
    if (read.controlBytes) load.keysWithControlChars.push_back(name);
  }
  return load;
}

}  // namespace kestrun
