// Length caps and range checks on form values and parsed replies. Both report
// through a failure popup and correct the value; neither stops the caller.
#pragma once

#include <string>
#include <string_view>

#include "protocol/ResultSink.h"

namespace kestrun {

// The longest device password (in bytes) with which every command line the
// form can build stays within the 254 characters the tracker takes: the
// white-list line with all ten numbers at their limit is 245 characters
// without the password.
constexpr std::size_t kMaxPasswordBytes = 9;

// Cuts `value` to at most `limit` bytes, reporting `message` when it was
// longer. The cut never splits a UTF-8 character: one that would straddle the
// limit goes as a whole. Bytes that are not UTF-8 are cut at the limit.
void ApplyCap(std::string& value, std::size_t limit, const char* message, IResultSink& sink);

// The length of the longest head of `text` of at most `limit` bytes that does
// not end inside a well-formed UTF-8 character.
std::size_t Utf8CutPoint(std::string_view text, std::size_t limit);

// Checks a numeric value against bounds given as texts. Out of range: reports
// "Error, <label> Should be <low> ~ <high> !", replaces the value with the bound
// text it passed, and returns false.
bool CheckRange(const std::string& label, const std::string& low, const std::string& high, std::string& value,
                IResultSink& sink);

}  // namespace kestrun
