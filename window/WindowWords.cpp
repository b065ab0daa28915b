#include "window/WindowWords.h"

#include <algorithm>

namespace kestrun {

namespace {

struct Wording {
  const char* option;  // as the layers below say it
  const char* window;  // as the window says it
};
// Longest first: a remark is replaced before the option inside it.
constexpr Wording kWordings[] = {
    {" (--allow-caps sends them as the window corrects them)", ""},
    {"--assign", "the \"Deal rows in order\" box"},
    {"--skip-done", "the \"Skip trackers already done\" box"},
    {"--watch", "the \"Start each tracker as it is plugged in\" box"},
};

}  // namespace

std::string InWindowWords(std::string text) {
  for (const Wording& w : kWordings) {
    const std::string option = w.option;
    for (std::size_t at = text.find(option); at != std::string::npos; at = text.find(option, at)) {
      text.replace(at, option.size(), w.window);
      at += std::char_traits<char>::length(w.window);
    }
  }
  return text;
}

std::string RefusalText(const batch::Refusal& refusal) {
  const std::size_t shown = std::min(refusal.problems.size(), kProblemsShown);
  std::string text;
  for (std::size_t i = 0; i < shown; ++i) text += refusal.problems[i] + "\n";
  if (const std::size_t more = refusal.problems.size() - shown; more > 0)
    text += "and " + std::to_string(more) + (more == 1 ? " more problem\n" : " more problems\n");
  return text + refusal.message;
}

}  // namespace kestrun
