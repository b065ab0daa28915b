// The checks of a table's cells, each giving the reason a cell is refused
// (empty when it passes): a header cell naming a config key, an address or a
// column of notes, the key cell naming a tracker, a value cell for its field,
// a dotted address, and the controls in a UTF-8 cell that would change how the
// text around them is shown. Also how a number cell is tidied before its check.
#pragma once

#include <array>
#include <set>
#include <string>

#include "batch/ConfigCheck.h"
#include "batch/FleetTable.h"
#include "settings/ConfigFile.h"

namespace kestrun::batch {

// `text` with its ASCII letters in lower case.
std::string Lower(std::string text);

// What a header cell other than the key column names.
struct TableColumn {
  enum class Kind {
    Value,    // a config key, "RVKPN/PhoneNum1"
    Address,  // the four octets of an address as one dotted cell, "RVSRI/IP"
    Note,     // a column of notes, "#Vehicle": carried with the row, never sent
  };
  Kind kind = Kind::Value;
  std::string name;                // the canonical spelling; a column of notes as written
  const ConfigKey* key = nullptr;  // Value: its key; Address: the key of its first octet (IP1)
};

// Checks a header cell; what it names (in `column`) or the problem.
std::string ColumnProblem(const std::string& name, const std::set<std::string>& templateSections,
                          TableColumn& column);

// The config key of the octet `index` (0 to 3) of the address whose first
// octet's key is `first`.
const ConfigKey& OctetKey(const ConfigKey& first, int index);

// Why `value` is no dotted address a.b.c.d with each part 0 to 255, or empty
// with its parts in `octets`.
std::string AddressProblem(const std::string& value, std::array<int, 4>& octets);

// How a value cell is tidied before its rule is checked: the spaces of a
// number cell (a flag, a list position, an octet, digits, a port, a PIN, a
// time, a coordinate) and of a phone-number cell go, and a phone number's
// separators - ( ) / as well; a text cell (APN, password, name) keeps every
// byte. Spaces are U+0020 and the no-break and thin spaces a spreadsheet puts
// between groups of digits. A cell that would be left empty stays as it is,
// so that its check refuses it instead of the template's value standing in.
std::string Tidied(const ConfigKey& key, const std::string& value);

// Why `value` cannot go into the field of `key`, or empty.
std::string ValueProblem(const ConfigKey& key, const std::string& value);

// The key cell in its canonical form ("COM5", the device, the IMEI) in `key`,
// or the problem.
std::string KeyProblem(FleetTable::KeyKind kind, const std::string& cell, std::string& key);

// The first code point of a cell in UTF-8 that a terminal or the tracker's
// display would act on instead of showing: a C1 control (U+0080 to U+009F)
// or a bidirectional control (U+202A to U+202E, U+2066 to U+2069), which
// reorders what is shown around it. 0 when there is none or when the cell is
// not valid UTF-8 (another code page, whose bytes go out as they are).
char32_t HiddenControl(const std::string& cell);

// Why a cell holding the control `point` (from HiddenControl) is refused.
std::string HiddenControlWhy(char32_t point);

}  // namespace kestrun::batch
