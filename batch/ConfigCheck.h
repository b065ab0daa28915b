// Loading a config file for the command line and checking it against the
// form's rules before any port is touched.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "protocol/FormValues.h"
#include "protocol/Groups.h"
#include "settings/ConfigFile.h"
#include "settings/KeyCodec.h"

namespace kestrun::batch {

// One thing wrong with a value. `capMessage` is set when the window corrects
// the value with a message (a length cap, a range check); `corrected` is then
// the value it would use, which --allow-caps sends.
struct Problem {
  std::string section;
  std::string key;  // empty: the section (or file) as a whole
  std::string value;
  std::string why;
  std::string capMessage;
  std::string corrected;
  bool secret = false;  // a PIN or password: its value is never shown
  bool cappable() const { return !capMessage.empty(); }
};

// Said in place of a PIN or password that a message would otherwise repeat:
// messages go to the terminal, the dry run, the report and the journal.
constexpr const char* kSecretNotShown = "the value (a secret: not shown)";

// Whether `key` holds a PIN or a password.
bool IsSecretKey(const ConfigKey& key);

// "[RVSRI] ServerPort = '123456': is ..." as shown to the user; a secret's
// value is not shown.
std::string Describe(const Problem& problem);
// "[RVSRI] APN: <cap message> -> '<value sent>'" for a value --allow-caps corrects.
std::string CappedText(const Problem& problem);

using kestrun::IsInteger;

struct ConfigInput {
  std::string path;
  CFormValues values;         // as Load Config File loads them
  GroupSelection sections{};  // settings sections that hold at least one of their keys
};

// Loads a config file after making sure it is one: a readable regular file of
// sane size with at least one of the config sections, whose numeric keys hold
// numbers. False with `error` set, or with `problems` naming the keys.
bool LoadConfigInput(const std::string& path, ConfigInput& input, std::vector<Problem>& problems,
                     std::string& error);

// The groups `write` sends: the settings sections the file holds (narrowed to
// `only`), never RVRTO, GEO and KPN only with a ticked row. False with `error`
// when a group asked for is missing or nothing is left to send.
bool SendSelection(const ConfigInput& input, const std::optional<GroupSelection>& only,
                   GroupSelection& selection, std::string& error);

// The groups `diff` reads and compares: the settings sections the file holds
// (narrowed to `only`), never RVRTO.
bool DiffSelection(const ConfigInput& input, const std::optional<GroupSelection>& only,
                   GroupSelection& selection, std::string& error);

// Checks every value a Send of `selection` carries against the form's rules:
// no commas, no control characters, each field's value rule, the input limits,
// the range checks and the length caps, list positions within their lists, a
// buildable line that fits the port. Problems the window would correct carry
// their correction.
// A text value's own check depends on its key and value alone: a check of
// many value sets that share most values (a table's rows merged over one
// template) keeps each outcome here and runs it once.
struct TextCheckCache {
  std::map<std::pair<int, std::string>, std::optional<Problem>> outcomes;
};
std::vector<Problem> CheckForSend(const CFormValues& values, const GroupSelection& selection,
                                  const std::string& password, TextCheckCache* cache = nullptr);

// Applies the corrections of the cappable problems to `values`.
void ApplyCorrections(const std::vector<Problem>& problems, CFormValues& values);

// The config key of a section and key name, or null.
const ConfigKey* FindConfigKey(const std::string& section, const std::string& key);

}  // namespace kestrun::batch
