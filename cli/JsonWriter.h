// One small JSON writer for rv450-cli's JSON outputs: an object on one line,
// its members in the order they are added, strings escaped by JsonString.
#pragma once

#include <string>

namespace kestrun::cli {

class CJsonObject {
 public:
  CJsonObject& Text(const char* name, const std::string& value);
  // `json` as it is: a number, true, false, null, or an array or object already written.
  CJsonObject& Raw(const char* name, const std::string& json);
  CJsonObject& Whole(const char* name, long long value) { return Raw(name, std::to_string(value)); }
  CJsonObject& Flag(const char* name, bool value) { return Raw(name, value ? "true" : "false"); }
  // A value given as text that is written bare (a number or a truth value) or as a string.
  CJsonObject& Value(const char* name, const std::string& value, bool bare) {
    return bare ? Raw(name, value) : Text(name, value);
  }
  std::string Done() const { return text_.empty() ? "{}" : text_ + "}"; }

 private:
  std::string text_;
};

}  // namespace kestrun::cli
