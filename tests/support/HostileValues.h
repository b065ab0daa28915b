// Values with control characters, as a file, an option or a paste may bring
// them, and the one high byte that is text and must pass. Every layer that
// takes a value from outside runs this table.
#pragma once

#include <string>
#include <vector>

namespace kestrun::testing {

struct HostileValue {
  std::string value;
  std::string clean;     // the value without its control characters
  std::string byteName;  // the first control character as messages name it; empty: the value passes
  bool fitsInFile;       // an INI line can hold it (no LF)
};

inline const std::vector<HostileValue>& HostileValues() {
  static const std::vector<HostileValue> values = {
      {"Bob\rAT+CFUN=0", "BobAT+CFUN=0", "CR", true},
      {"Bob\nAT+CFUN=0", "BobAT+CFUN=0", "LF", false},
      {std::string("58\0"
                   "30",
                   5),
       "5830", "NUL", true},
      {std::string("J\xf6rg\0", 5), "J\xf6rg", "NUL", true},  // Latin-1: refused all the same
      {"Bob\x1b[2J", "Bob[2J", "ESC", true},
      {"Bob\x7f", "Bob", "DEL", true},
      {"Bo\tb", "Bob", "TAB", true},
      {"Bob\x1a\x07", "Bob", "0x1A", true},
      {"J\xc3\xb6rg\xff", "J\xc3\xb6rg\xff", "", true},
  };
  return values;
}

}  // namespace kestrun::testing
