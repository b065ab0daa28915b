// The value rules of the form's text fields: what a value must look like
// before it may go into a command line, and which characters typing may add.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "protocol/FormFields.h"

namespace kestrun {

// How messages name a rule: "digits only", "1 to 65535" and so on; empty for
// ValueRule::None.
std::string RuleName(ValueRule rule);

// A phone number as the tool takes one: digits with an optional leading +.
bool IsPhoneNumber(std::string_view text);

// A number written plainly: an optional sign, digits and an optional fraction
// after a full stop ("-5", "12", "8.25"); no exponent, no "nan" or "inf".
bool IsPlainNumber(std::string_view text);

// Whether typing may add `c` to a field of this rule (commas and control
// characters are kept out of every field elsewhere).
bool RuleTakesChar(ValueRule rule, char32_t c);

// Null when `value` may be sent in `field`, otherwise the name of the rule it
// breaks. An empty value always may. A whole number outside the field's range
// passes: the range check replaces it with its bound (and says so).
std::optional<std::string> CheckValueRule(const FormField& field, const std::string& value);

// "Send Interval: 'abc' is not digits only" as a preview or popup shows it.
std::string DescribeBrokenRule(const FormField& field, const std::string& value, const std::string& rule);

}  // namespace kestrun
