// One config key's value both ways and the check of its text: what config
// files, the key comparison, the fleet table and the config check share, so a
// key reads, writes and fails the same everywhere.
#pragma once

#include <string>

#include "protocol/FormValues.h"
#include "settings/ConfigFile.h"

namespace kestrun {

// The key's value as a config file writes it: a flag as 1 or 0, numbers and
// octets in decimal, a text as it is.
std::string KeyText(const ConfigKey& key, const CFormValues& values);

// What reading a text dropped from it.
struct KeyRead {
  bool comma = false;
  bool controlBytes = false;
};

// Sets the key's form value from its text as a config file holds it (a
// missing key reads as an empty text, which gives the default): numbers by the
// tracker's number rule, a flag set above 0, an octet cut to its low 8 bits, a
// text cut to the file's value limit, without commas and control bytes and
// without the blanks these leave at its ends (as a file's values have none).
KeyRead SetFromKeyText(const ConfigKey& key, const std::string& text, CFormValues& values);

// A whole number as a settings file holds it: an optional sign and 1 to 9 digits.
bool IsInteger(const std::string& text);

// Why `text` cannot be the key's value on a command line, or empty: a control
// character, a comma in a text, a number key that holds no number, an octet
// out of range. INFO/VER is never sent and never fails.
std::string KeyTextProblem(const ConfigKey& key, const std::string& text);

}  // namespace kestrun
