// Private-profile (INI) files: names match without regard to letter case,
// values are trimmed, a missing file, section or key gives the default. A
// write replaces the key's line in place (or appends the key to its section,
// or the section to the file) and keeps every other line, the line ends and a
// byte-order mark. A file is read in one go and replaced in one step through
// a temporary file (settings/SafeFile.h), so it is never left half-written.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "port/Platform.h"
#include "settings/SafeFile.h"

namespace kestrun {

// The text of one INI file, read once; lookups and writes work on it in
// memory, and Serialize gives the bytes to store.
class CIniText {
 public:
  static constexpr std::size_t kMaxValue = 2047;

  // Lines end in LF, CR LF or CR alone; a UTF-8 byte-order mark is set aside.
  static CIniText Parse(std::string_view bytes);
  // The lines with the file's own line end and its mark. A text without a line
  // end (a new file) takes the system's (kNewFileLineEnd: CR LF on Windows).
  std::string Serialize() const;

  // The first value of `key` in a section named `section`.
  bool Find(const std::string& section, const std::string& key, std::string& value) const;
  int GetInt(const std::string& section, const std::string& key, int defaultValue) const;
  // At most kMaxValue bytes.
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& defaultValue) const;
  bool GetBool(const std::string& section, const std::string& key, bool defaultValue) const;

  void Set(const std::string& section, const std::string& key, const std::string& value);
  void SetInt(const std::string& section, const std::string& key, int value);
  void SetBool(const std::string& section, const std::string& key, bool value);

  bool HasByteOrderMark() const { return byteOrderMark_; }
  const std::string& LineEnd() const { return lineEnd_; }

 private:
  enum class Kind { Other, Section, Key };
  struct Line {
    std::string text;
    Kind kind = Kind::Other;
    std::string name;   // section or key name, trimmed
    std::string value;  // key value, trimmed
  };
  static Line Classify(std::string text);

  std::vector<Line> lines_;
  std::string lineEnd_ = kNewFileLineEnd;
  bool endsWithNewline_ = true;
  bool byteOrderMark_ = false;
};

class CIniFile {
 public:
  static constexpr std::size_t kMaxValue = CIniText::kMaxValue;

  CIniFile() = default;
  explicit CIniFile(std::string path) : path(std::move(path)) {}
  virtual ~CIniFile() = default;

  // One reading of the file each; a file that cannot be read gives defaults.
  int GetInt(const std::string& section, const std::string& key, int defaultValue) const;
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& defaultValue) const;
  bool GetBool(const std::string& section, const std::string& key, bool defaultValue) const;
  // One read and one replace each.
  bool WriteInt(const std::string& section, const std::string& key, int value);
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool WriteBool(const std::string& section, const std::string& key, bool value);

  // Reads the whole file. A missing file is an empty text and no failure.
  FileResult Read(CIniText& text) const;
  // Reads the file, lets `change` set its keys, and replaces the file once.
  // A file that exists but cannot be read is not rewritten: its other
  // sections would be lost.
  FileResult Update(const std::function<void(CIniText&)>& change);

  std::string path;
};

}  // namespace kestrun
