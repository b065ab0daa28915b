// Whole numbers given on a command line: "--runs 5", "--trackers 8,32".
#pragma once

#include <string>
#include <vector>

namespace kestrun {

// `text` is a decimal number from `least` to `most` and nothing else.
bool ParseWholeNumber(const std::string& text, long least, long most, int& value);
// Comma-separated numbers, each from `least` to `most`; at least one.
bool ParseWholeNumbers(const std::string& text, long least, long most, std::vector<int>& values);

}  // namespace kestrun
