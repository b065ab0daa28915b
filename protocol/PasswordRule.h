// What every device password must keep to, wherever it comes from: it opens
// every command line, so a comma in it would shift every later field and a
// control byte would end the line early or garble it.
#pragma once

#include <string>
#include <string_view>

namespace kestrun {

// Why `password` cannot go into a command line ("holds a comma, ..."), or
// empty when it can. The line-length limit is checked on the built lines.
std::string PasswordFault(std::string_view password);

}  // namespace kestrun
