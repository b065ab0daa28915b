// Following symbolic links the way the kernel does when its protected-symlinks
// rule is on, whether or not it is on here, and for root too. In a folder that
// is sticky and world-writable (/tmp, a shared drop folder) anyone may plant a
// link; such a link is followed only when it belongs to the user or to the
// folder's owner. Both the settings files and the traffic log resolve their
// paths through this, so a planted link can redirect neither.
#pragma once

#include <sys/types.h>

#include <string>

namespace kestrun {

// The rule for one link: a link in a folder with mode `folderMode` owned by
// `folderOwner`, the link owned by `linkOwner`, followed by the user `follower`.
bool MayFollowLink(mode_t folderMode, uid_t folderOwner, uid_t linkOwner, uid_t follower);

struct ResolvedPath {
  bool ok = true;
  std::string path;    // the path with every link resolved (its tail need not exist yet)
  std::string step;    // on failure: what was being done, e.g. "following the symbolic link /tmp/x"
  std::string reason;  // on failure: the system's reason, or why the link was not followed
};

// More links than this on one path is a loop, as Linux counts one (ELOOP).
constexpr int kMaxPathLinks = 40;

// A failed resolution: what was being done and why it failed.
ResolvedPath PathLinkFailure(std::string step, std::string reason);
// The refusal of a link planted by another user (`owner` as the system names
// them) in a folder anyone may add files to.
ResolvedPath PlantedLinkRefusal(const std::string& link, const std::string& owner);

// Resolves every symbolic link met on the way through `path`, each checked
// with MayFollowLink for the effective user. Components after the first one
// that does not exist are kept as they are, so that a dangling link names the
// file to create. More than 40 links is a loop (ELOOP).
ResolvedPath ResolvePathLinks(const std::string& path);

}  // namespace kestrun
