// Texts of the layers below, said in the Provisioning window's words: a
// command-line option becomes the control that does the same there.
#pragma once

#include <string>

#include "batch/PrepareBatch.h"

namespace kestrun {

// `text` with each rv450-cli option the window has a control for named by
// that control ("the \"Deal rows in order\" box" for --assign), and remarks
// about options the window does not have left out.
std::string InWindowWords(std::string text);

// A refusal as the window shows it, one problem a line and its message last:
// the first kProblemsShown problems and how many more there are, so that a
// table with a fault in each of its many rows neither floods the window nor
// stalls its layout (rv450-cli lists them all).
constexpr std::size_t kProblemsShown = 10;
std::string RefusalText(const batch::Refusal& refusal);

}  // namespace kestrun
