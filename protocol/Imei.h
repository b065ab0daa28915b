// A tracker's IMEI: 15 decimal digits, the last a Luhn check digit over the
// other fourteen.
#pragma once

#include <string>

namespace kestrun {

// Whether `text` is exactly 15 digits whose last digit is the Luhn check digit.
bool IsValidImei(const std::string& text);

}  // namespace kestrun
