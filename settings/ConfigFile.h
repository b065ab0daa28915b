// Config files: a whole form in an INI file, one section per command group plus
// INFO, the keys in the field table's file order (protocol/FormFields).
#pragma once

#include <string>
#include <string_view>
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

// Writes every key in one replace of the file; `version` is the firmware
// version text (INFO/VER). Every other line of an existing file stays.
FileResult WriteConfigFile(CIniFile& file, const CFormValues& values, const std::string& version);

struct ConfigLoad {
  FileResult file;
  // "SECTION/Key" of every text value that held a comma. A comma would split
  // the value into two fields of the command line, so it is dropped, as the
  // form does when one is typed.
  std::vector<std::string> keysWithCommas;
  // "SECTION/Key" of every text value that held a control byte (CR, LF, TAB,
  // ESC, DEL, ...). A CR or LF would end the command line and make the rest
  // of the value a command of its own, so they are dropped as well.
  std::vector<std::string> keysWithControlChars;
};

// Why a file with NUL bytes is refused: no text file holds them, so it is an
// image, an archive or the like, whose load would blank every field.
inline constexpr const char* kBinaryFileReason = "not a config file (it holds binary data)";
inline bool HoldsBinaryData(std::string_view bytes) { return bytes.find('\0') != std::string_view::npos; }
// Whether the NUL bytes of `bytes` make it binary: some NUL stands outside the
// value of every config key. A NUL inside a value is a control byte of that
// key, named and refused (or dropped) as the other control bytes are.
bool HoldsBinaryOutsideValues(std::string_view bytes, const CIniText& text);

// Reads the file once and takes the keys other than INFO/VER from that
// reading (settings/KeyCodec), each with its default; octets are cut to their low 8 bits. A
// missing file gives every default. A file that cannot be read (not a regular
// file, too large, no permission) or holds binary data leaves `values` as
// they were.
ConfigLoad ReadConfigFile(const CIniFile& file, CFormValues& values);

}  // namespace kestrun
