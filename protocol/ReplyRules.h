// When a tracker reply is complete, and when a settings line was accepted. The
// reply check and the fast pacing's early end of a read use the same rules: a
// reply ends with a line of its own that starts with "OK" or "ERROR", after the
// echo of the line or the reply's tag.
#pragma once

#include <string>
#include <string_view>

namespace kestrun {

// Position of the first `word` that starts a line (at the very start of `text`
// or right after a carriage return or line feed) at or after `from`, or npos.
std::size_t FindLineStarting(std::string_view text, std::string_view word, std::size_t from = 0);

// An "OK" or "ERROR" line at or after `from`.
bool ReplyEnded(std::string_view text, std::size_t from = 0);
// How many lines of `text` start with "OK" or "ERROR": one per answered line.
int CountClosingLines(std::string_view text);

// The echo of `line` has arrived and a closing line after it.
bool SettingReplyComplete(std::string_view collected, std::string_view line);
// The echo of `line`, then an "OK" line of its own, and no "ERROR" anywhere
// after the echo.
bool SettingAccepted(std::string_view collected, std::string_view line);

// The tag and a closing line after it, or an "ERROR" line.
bool QueryReplyComplete(std::string_view reply, std::string_view tag);

}  // namespace kestrun
