// Length caps and range checks on form values and parsed replies. Both report
// through a failure popup and correct the value; neither stops the caller.
#pragma once

#include <string>

#include "protocol/ResultSink.h"

namespace kestrun {

// The longest device password (in bytes) with which every command line the
// form can build stays within the 254 characters the tracker takes: the
// white-list line with all ten numbers at their limit is 245 characters
// without the password.
constexpr std::size_t kMaxPasswordBytes = 9;

// Cuts `value` to `limit` bytes, reporting `message` when it was longer.
void ApplyCap(std::string& value, std::size_t limit, const char* message, IResultSink& sink);

// Checks a numeric value against bounds given as texts. Out of range: reports
// "Error, <label> Should be <low> ~ <high> !", replaces the value with the bound
// text it passed, and returns false.
bool CheckRange(const std::string& label, const std::string& low, const std::string& high, std::string& value,
                IResultSink& sink);

}  // namespace kestrun
