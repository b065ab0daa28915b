#include "settings/KeyCompare.h"

#include <algorithm>

#include "protocol/ControlIds.h"
#include "protocol/FormModel.h"

namespace kestrun {

namespace {

int IndexIn(const int* ids, int count, int id) {
  for (int i = 0; i < count; ++i)
    if (ids[i] == id) return i;
  return -1;
}

}  // namespace

std::string KeyText(const ConfigKey& key, const CFormValues& values) {
  switch (key.encoding) {
    case Encoding::Text: return values.Text(key.id);
    case Encoding::Flag: return values.Number(key.id) ? "1" : "0";
    case Encoding::Octet: return std::to_string(values.Address(key.id)[key.octet]);
    case Encoding::Int:
    case Encoding::Index: return std::to_string(values.Number(key.id));
  }
  return {};
}

bool GroupOfSection(const std::string& section, Group& group) {
  for (const GroupInfo& info : AllGroups())
    if (section == std::string("RV") + info.name) {
      group = info.group;
      return true;
    }
  return false;
}

int RowOf(const ConfigKey& key) {
  using namespace ctl;
  for (const int* ids : {Longitude, Latitude, Radius, CheckInterval, FenceType})
    if (const int n = IndexIn(ids, 4, key.id); n >= 0) return n;
  for (const int* ids : {PhoneNumber, PhoneName, KpnEnable, AutoAnswer, KeyBox})
    if (const int k = IndexIn(ids, 5, key.id); k >= 0) return k;
  if (const int n = IndexIn(FenceBox, 4, key.id); n >= 0) return n;
  return -1;
}

std::vector<const ConfigKey*> ReadKeys(const GroupSelection& groups) {
  std::vector<const ConfigKey*> keys;
  for (const ConfigKey& key : ConfigKeys()) {
    Group group;
    if (!GroupOfSection(key.section, group) || group == Group::Rto || !groups[static_cast<int>(group)])
      continue;
    const std::vector<int> filled = CFormModel::ReplyValueIds(group);
    if (std::find(filled.begin(), filled.end(), key.id) != filled.end()) keys.push_back(&key);
  }
  return keys;
}

std::vector<const ConfigKey*> SentKeys(const CFormValues& values, const GroupSelection& groups) {
  using namespace ctl;
  std::vector<const ConfigKey*> keys;
  for (const ConfigKey* key : ReadKeys(groups)) {
    Group group;
    GroupOfSection(key->section, group);
    const int row = RowOf(*key);
    if (group == Group::Geo && !values.Number(FenceBox[row])) continue;
    if (group == Group::Kpn && !values.Number(KeyBox[row])) continue;
    if (const int p = IndexIn(WhiteNumber, 10, key->id); p >= 0) {
      if (p < values.Number(MobileStart) || p > values.Number(MobileEnd)) continue;
    }
    keys.push_back(key);
  }
  return keys;
}

std::vector<std::string> SentKeyLines(const CFormValues& values, const GroupSelection& groups) {
  std::vector<std::string> lines;
  for (const ConfigKey* key : SentKeys(values, groups))
    lines.push_back(std::string(key->section) + "/" + key->key + "=" + KeyText(*key, values));
  return lines;
}

std::vector<Difference> Compare(const std::vector<const ConfigKey*>& keys, const CFormValues& fileValues,
                                const CFormValues& trackerValues) {
  std::vector<Difference> differences;
  for (const ConfigKey* key : keys) {
    std::string file = KeyText(*key, fileValues), tracker = KeyText(*key, trackerValues);
    if (file != tracker) differences.push_back({key->section, key->key, std::move(file), std::move(tracker)});
  }
  return differences;
}

}  // namespace kestrun
