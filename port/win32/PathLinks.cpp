#include "port/PathLinks.h"

#include <cerrno>

#include "port/SystemError.h"

namespace kestrun {

// Windows folders have no sticky bit and no world-writable mode; every link
// passes this rule there.
bool MayFollowLink(mode_t, uid_t, uid_t, uid_t) { return true; }

// The path as given: reparse points are left to the file layer's own checks.
ResolvedPath ResolvePathLinks(const std::string& path) {
  ResolvedPath result;
  if (path.empty()) {
    result.ok = false;
    result.step = "looking up the file";
    result.reason = SystemReason(ENOENT);
    return result;
  }
  result.path = path;
  return result;
}

}  // namespace kestrun
