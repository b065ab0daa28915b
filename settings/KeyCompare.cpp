#include "settings/KeyCompare.h"

#include <algorithm>

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
