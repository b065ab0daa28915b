// Texts of the layers below, said in the Provisioning window's words: a
// command-line option becomes the control that does the same there.
#pragma once

#include <string>

namespace kestrun {

// `text` with each rv450-cli option the window has a control for named by
// that control ("the \"Deal rows in order\" box" for --assign), and remarks
// about options the window does not have left out.
std::string InWindowWords(std::string text);

}  // namespace kestrun
