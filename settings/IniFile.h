// Private-profile (INI) file access: names match without regard to letter
// case, values are trimmed, a missing file, section or key gives the default.
// A write replaces the key's line in place (or appends the key to its section,
// or the section to the file) and keeps every other line; the file is
// replaced through a temporary file, so it is never left half-written.
#pragma once

#include <string>

namespace kestrun {

class CIniFile {
 public:
  static constexpr std::size_t kMaxValue = 2047;

  CIniFile() = default;
  explicit CIniFile(std::string path) : path(std::move(path)) {}
  virtual ~CIniFile() = default;

  int GetInt(const std::string& section, const std::string& key, int defaultValue) const;
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& defaultValue) const;
  bool GetBool(const std::string& section, const std::string& key, bool defaultValue) const;
  bool WriteInt(const std::string& section, const std::string& key, int value);
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool WriteBool(const std::string& section, const std::string& key, bool value);

  std::string path;

 private:
  bool Lookup(const std::string& section, const std::string& key, std::string& value) const;
};

}  // namespace kestrun
