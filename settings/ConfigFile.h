// Config files: a whole form in an INI file, one section per command group plus
// INFO, 100 keys in a fixed order.
#pragma once

#include <string>
#include <vector>

#include "protocol/FormValues.h"
#include "settings/IniFile.h"

namespace kestrun {

enum class Encoding { Int, Text, Flag, Index, Octet };

struct ConfigKey {
  const char* section;
  std::string key;
  Encoding encoding;
  int id;     // control id of the form value (the IP field for octets); 0 for INFO/VER
  int octet;  // 0..3 for octets
};

// Every key in the order it is written.
const std::vector<ConfigKey>& ConfigKeys();

// Writes the 100 keys; `version` is the firmware version text (INFO/VER).
void WriteConfigFile(CIniFile& file, const CFormValues& values, const std::string& version);
// Reads the 99 keys other than INFO/VER, each with its default; octets are cut
// to their low 8 bits.
void ReadConfigFile(const CIniFile& file, CFormValues& values);

}  // namespace kestrun
