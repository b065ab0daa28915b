#include "cli/JsonWriter.h"

#include "cli/Report.h"

namespace kestrun::cli {

using namespace kestrun::batch;

CJsonObject& CJsonObject::Text(const char* name, const std::string& value) {
  return Raw(name, JsonString(value));
}

CJsonObject& CJsonObject::Raw(const char* name, const std::string& json) {
  text_ += text_.empty() ? "{\"" : ",\"";
  text_ += name;
  text_ += "\":";
  text_ += json;
  return *this;
}

}  // namespace kestrun::cli
