#include "protocol/PasswordRule.h"

#include "protocol/ControlChars.h"

namespace kestrun {

std::string PasswordFault(std::string_view password) {
  if (password.find(',') != std::string_view::npos)
    return "holds a comma, which would shift every field of every line";
  if (const std::size_t at = FindControlByte(password); at != std::string_view::npos)
    return "holds a control character (" + ControlByteName(static_cast<unsigned char>(password[at])) +
           "), which would end or garble every command line";
  return {};
}

}  // namespace kestrun
