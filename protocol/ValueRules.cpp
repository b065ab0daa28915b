#include "protocol/ValueRules.h"

#include <algorithm>

#include "protocol/ControlChars.h"
#include "protocol/Fields.h"
#include "protocol/WholeNumber.h"

namespace kestrun {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

// Digits after an optional sign.
bool IsWholeNumber(const std::string& text) {
  const std::size_t start = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  return AllDigits(text.substr(start));
}

// An optional sign, digits, and an optional fraction after a full stop; no
// exponent, no "nan" or "inf".
bool IsPlainDecimal(const std::string& text) {
  const std::size_t start = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  const std::string body = text.substr(start);
  const std::size_t dot = body.find('.');
  const std::string whole = body.substr(0, dot);
  const std::string fraction = dot == std::string::npos ? "" : body.substr(dot + 1);
  const bool digitsOrEmpty = std::all_of(whole.begin(), whole.end(), IsDigit) &&
                             std::all_of(fraction.begin(), fraction.end(), IsDigit);
  return digitsOrEmpty && !(whole.empty() && fraction.empty());
}

// Compared on the text, not on a double: summing many decimals in floating
// point can land a hair past the bound (-89.999...9 read as -90.000...01).
bool IsDecimalWithin(const std::string& text, int bound) {
  if (!IsPlainDecimal(text)) return false;
  const std::string body = text[0] == '+' || text[0] == '-' ? text.substr(1) : text;
  const std::size_t dot = body.find('.');
  const std::string whole = body.substr(0, dot);
  const std::string fraction = dot == std::string::npos ? "" : body.substr(dot + 1);
  const std::size_t first = std::min(whole.find_first_not_of('0'), whole.size());
  if (whole.size() - first > 3) return false;
  const long long wholeValue = first == whole.size() ? 0 : *ParseWhole(whole.substr(first));
  if (wholeValue != bound) return wholeValue < bound;
  return fraction.find_first_not_of('0') == std::string::npos;
}

bool IsPort(const std::string& text) {
  if (!AllDigits(text)) return false;
  const std::size_t first = std::min(text.find_first_not_of('0'), text.size());
  return first < text.size() && text.size() - first <= 5 && *ParseWhole(text.substr(first)) <= 65535;
}

bool IsTime(const std::string& text) {
  return text.size() == 4 && AllDigits(text) && *ParseWhole(text.substr(0, 2)) <= 23 &&
         *ParseWhole(text.substr(2)) <= 59;
}

bool Obeys(ValueRule rule, const std::string& value) {
  switch (rule) {
    case ValueRule::None: return true;
    case ValueRule::Time: return IsTime(value);
    case ValueRule::Digits: return AllDigits(value);
    case ValueRule::Port: return IsPort(value);
    case ValueRule::Phone: return IsPhoneNumber(value);
    case ValueRule::Pin: return AllDigits(value) && value.size() >= 4 && value.size() <= 8;
    case ValueRule::Longitude: return IsDecimalWithin(value, 180);
    case ValueRule::Latitude: return IsDecimalWithin(value, 90);
    case ValueRule::Text: return value.find(',') == std::string::npos && !HasControlBytes(value);
  }
  return true;
}

// A whole number the field's range check would replace with one of its bounds.
bool RangeReplaces(const FormField& field, const std::string& value) {
  if (!field.range.label || !IsWholeNumber(value)) return false;
  const double number = ReadDecimal(value);
  return number < ReadDecimal(field.range.low) || number > ReadDecimal(field.range.high);
}

}  // namespace

bool IsPhoneNumber(std::string_view text) {
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

bool IsPlainNumber(std::string_view text) { return IsPlainDecimal(std::string(text)); }

std::string RuleName(ValueRule rule) {
  switch (rule) {
    case ValueRule::None: return {};
    case ValueRule::Time: return "4 digits, hh 00-23 and mm 00-59";
    case ValueRule::Digits: return "digits only";
    case ValueRule::Port: return "digits, 1 to 65535";
    case ValueRule::Phone: return "digits with an optional leading +";
    case ValueRule::Pin: return "empty, or 4 to 8 digits";
    case ValueRule::Longitude: return "a decimal number within \u00b1180";
    case ValueRule::Latitude: return "a decimal number within \u00b190";
    case ValueRule::Text: return "text without commas or control characters";
  }
  return {};
}

bool RuleTakesChar(ValueRule rule, char32_t c) {
  const bool digit = c >= U'0' && c <= U'9';
  switch (rule) {
    case ValueRule::Time:
    case ValueRule::Digits:
    case ValueRule::Port:
    case ValueRule::Pin: return digit;
    case ValueRule::Phone: return digit || c == U'+';
    case ValueRule::Longitude:
    case ValueRule::Latitude: return digit || c == U'+' || c == U'-' || c == U'.';
    case ValueRule::None:
    case ValueRule::Text: return true;
  }
  return true;
}

std::optional<std::string> CheckValueRule(const FormField& field, const std::string& value) {
  if (value.empty() || RangeReplaces(field, value) || Obeys(field.rule, value)) return std::nullopt;
  return RuleName(field.rule);
}

std::string DescribeBrokenRule(const FormField& field, const std::string& value, const std::string& rule) {
  // A value with control bytes is not repeated: they would garble the text.
  const std::string shown = HasControlBytes(value) ? std::string() : " " + QuotedValue(value);
  return field.name + ":" + shown + " is not " + rule;
}

}  // namespace kestrun
