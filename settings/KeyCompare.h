// Comparing a config file's values with a tracker's, key by key. A value is
// compared as the config file writes it, so "2" and "1" for a flag, or 300 and
// 44 for an address octet, are the same value when they load the same.
#pragma once

#include <string>
#include <vector>

#include "protocol/FormValues.h"
#include "settings/ConfigFile.h"
#include "settings/KeyCodec.h"

namespace kestrun {

struct Difference {
  std::string section;
  std::string key;
  std::string fileValue;
  std::string trackerValue;
};

// The group a config key belongs to; false for INFO.
bool GroupOfSection(const std::string& section, Group& group);

// The fence (0..3) or keypad row (0..4) a key's value belongs to, or -1: the
// row of the field table in the groups whose rows switch themselves.
int RowOf(const ConfigKey& key);

// The keys a read of the groups fills, in file order (no enable or row boxes,
// no white-list range, no RVRTO, no INFO).
std::vector<const ConfigKey*> ReadKeys(const GroupSelection& groups);

// Of those, the ones a Send of the groups carries with these values: fences
// and keypad rows only when their box is ticked, white-list numbers only
// within the list's range.
std::vector<const ConfigKey*> SentKeys(const CFormValues& values, const GroupSelection& groups);

// "SECTION/Key=value" for each of SentKeys: what a settings hash is made of.
std::vector<std::string> SentKeyLines(const CFormValues& values, const GroupSelection& groups);

std::vector<Difference> Compare(const std::vector<const ConfigKey*>& keys, const CFormValues& fileValues,
                                const CFormValues& trackerValues);

}  // namespace kestrun
