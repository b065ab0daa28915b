// The checks of a table's cells, each giving the reason a cell is refused
// (empty when it passes): a header cell naming a config key, the key cell
// naming a tracker, a value cell for its field, and the controls in a UTF-8
// cell that would change how the text around them is shown.
#pragma once

#include <set>
#include <string>

#include "batch/FleetTable.h"
#include "settings/ConfigFile.h"

namespace kestrun::batch {

// `text` with its ASCII letters in lower case.
std::string Lower(std::string text);

// A value as a message may show it: control bytes escaped.
std::string Shown(const std::string& value);

// Checks a header cell; the config key it names (in `found`) or the problem.
std::string ColumnProblem(const std::string& name, const std::set<std::string>& templateSections,
                          const ConfigKey*& found);

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
