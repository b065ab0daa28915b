#include "cli/CsvField.h"

#include "protocol/ControlChars.h"
#include "protocol/ValueRules.h"

namespace kestrun::cli {

namespace {

// The first characters a spreadsheet may take as the start of a formula.
bool StartsLikeFormula(std::string_view value) {
  return !value.empty() && std::string_view("=+-@\t\r").find(value.front()) != std::string_view::npos;
}

}  // namespace

std::string CsvField(std::string_view value) {
  std::string text = EscapeControlBytes(value);
  if (StartsLikeFormula(value) && !IsPlainNumber(value) && !IsPhoneNumber(value)) text.insert(0, 1, '\'');
  if (text.find_first_of(",\"") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace kestrun::cli
