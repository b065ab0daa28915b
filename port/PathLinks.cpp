#include "port/PathLinks.h"

namespace kestrun {

ResolvedPath PathLinkFailure(std::string step, std::string reason) {
  ResolvedPath result;
  result.ok = false;
  result.step = std::move(step);
  result.reason = std::move(reason);
  return result;
}

ResolvedPath PlantedLinkRefusal(const std::string& link, const std::string& owner) {
  return PathLinkFailure("following the symbolic link " + link,
                         "it belongs to another user (" + owner +
                             ") in a folder anyone may write to; such a link is followed only when it is the "
                             "user's own or the folder owner's");
}

}  // namespace kestrun
