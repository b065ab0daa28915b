#include "protocol/ReplyRules.h"

namespace kestrun {

std::size_t FindLineStarting(std::string_view text, std::string_view word, std::size_t from) {
  for (std::size_t pos = text.find(word, from); pos != std::string_view::npos; pos = text.find(word, pos + 1))
    if (pos == 0 || text[pos - 1] == '\r' || text[pos - 1] == '\n') return pos;
  return std::string_view::npos;
}

bool ReplyEnded(std::string_view text, std::size_t from) {
  return FindLineStarting(text, "OK", from) != std::string_view::npos ||
         FindLineStarting(text, "ERROR", from) != std::string_view::npos;
}

int CountClosingLines(std::string_view text) {
  int count = 0;
  for (std::string_view word : {"OK", "ERROR"})
    for (std::size_t pos = FindLineStarting(text, word); pos != std::string_view::npos;
         pos = FindLineStarting(text, word, pos + 1))
      ++count;
  return count;
}

bool SettingReplyComplete(std::string_view collected, std::string_view line) {
  const std::size_t echo = collected.find(line);
  return echo != std::string_view::npos && ReplyEnded(collected, echo + line.size());
}

bool SettingAccepted(std::string_view collected, std::string_view line) {
  const std::size_t echo = collected.find(line);
  if (echo == std::string_view::npos) return false;
  const std::size_t after = echo + line.size();
  return FindLineStarting(collected, "OK", after) != std::string_view::npos &&
         collected.find("ERROR", after) == std::string_view::npos;
}

bool QueryReplyComplete(std::string_view reply, std::string_view tag) {
  if (FindLineStarting(reply, "ERROR") != std::string_view::npos) return true;
  const std::size_t tagPos = reply.find(tag);
  return tagPos != std::string_view::npos && FindLineStarting(reply, "OK", tagPos) != std::string_view::npos;
}

}  // namespace kestrun
