#include "settings/KeyCompare.h"

#include <algorithm>
#include <array>

#include "protocol/FormModel.h"

namespace kestrun {

bool GroupOfSection(const std::string& section, Group& group) {
  for (const GroupInfo& info : AllGroups())
    if (section == std::string("RV") + info.name) {
      group = info.group;
      return true;
    }
  return false;
}

int RowOf(const ConfigKey& key) {
  const FormField* field = FindFormField(key.id);
  return field && Info(field->group).enableBox < 0 ? field->row : -1;
}

std::vector<const ConfigKey*> ReadKeys(const GroupSelection& groups) {
  // Which keys a reply of each group fills does not change: it is worked out
  // once (a table's check asks for every row), in the order of ConfigKeys().
  static const std::vector<std::pair<const ConfigKey*, int>> filledKeys = [] {
    std::vector<std::pair<const ConfigKey*, int>> list;
    std::array<std::vector<int>, kGroupCount> filled;
    std::array<bool, kGroupCount> listed{};
    for (const ConfigKey& key : ConfigKeys()) {
      Group group;
      if (!GroupOfSection(key.section, group) || group == Group::Rto) continue;
      const int g = static_cast<int>(group);
      if (!listed[g]) {
        filled[g] = CFormModel::ReplyValueIds(group);
        listed[g] = true;
      }
      if (std::find(filled[g].begin(), filled[g].end(), key.id) != filled[g].end())
        list.emplace_back(&key, g);
    }
    return list;
  }();
  std::vector<const ConfigKey*> keys;
  for (const auto& [key, g] : filledKeys)
    if (groups[g]) keys.push_back(key);
  return keys;
}

std::vector<const ConfigKey*> SentKeys(const CFormValues& values, const GroupSelection& groups) {
  std::vector<const ConfigKey*> keys;
  for (const ConfigKey* key : ReadKeys(groups))
    if (IsSent(values, *FindFormField(key->id))) keys.push_back(key);
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
