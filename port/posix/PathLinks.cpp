#include "port/PathLinks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "port/SystemError.h"

namespace kestrun {

namespace {

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Puts the components of `path` on `pending`, the first one last (taken next).
void PushComponents(std::vector<std::string>& pending, const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = path.find('/', start);
    const std::size_t end = slash == std::string::npos ? path.size() : slash;
    if (end > start) parts.push_back(path.substr(start, end - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  pending.insert(pending.end(), parts.rbegin(), parts.rend());
}

ResolvedPath SystemFailure(std::string step, int error) {
  return PathLinkFailure(std::move(step), SystemReason(error));
}

}  // namespace

bool MayFollowLink(mode_t folderMode, uid_t folderOwner, uid_t linkOwner, uid_t follower) {
  const bool shared = (folderMode & S_ISVTX) && (folderMode & S_IWOTH);
  return !shared || linkOwner == follower || linkOwner == folderOwner;
}

ResolvedPath ResolvePathLinks(const std::string& path) {
  if (path.empty()) return SystemFailure("looking up the file", ENOENT);
  std::string current = path.front() == '/' ? "/" : "";
  std::vector<std::string> pending;
  PushComponents(pending, path);
  int links = 0;
  bool missing = false;  // a component did not exist: the rest is taken as written
  while (!pending.empty()) {
    const std::string name = pending.back();
    pending.pop_back();
    if (name == ".") continue;
    const std::string candidate = Join(current, name);
    struct stat st;
    if (missing || ::lstat(candidate.c_str(), &st) != 0) {
      if (!missing && errno != ENOENT) return SystemFailure("looking up " + candidate, errno);
      missing = true;
      current = candidate;
      continue;
    }
    if (!S_ISLNK(st.st_mode)) {
      current = candidate;
      continue;
    }
    if (++links > kMaxPathLinks) return SystemFailure("following its symbolic links", ELOOP);
    const std::string folder = current.empty() ? "." : current;
    struct stat folderStat;
    if (::stat(folder.c_str(), &folderStat) != 0)
      return SystemFailure("looking up the folder " + folder, errno);
    if (!MayFollowLink(folderStat.st_mode, folderStat.st_uid, st.st_uid, ::geteuid()))
      return PlantedLinkRefusal(candidate, "uid " + std::to_string(st.st_uid));
    std::string target(PATH_MAX + 1, '\0');
    const ssize_t n = ::readlink(candidate.c_str(), target.data(), target.size());
    if (n < 0) return SystemFailure("reading the symbolic link " + candidate, errno);
    if (static_cast<std::size_t>(n) >= target.size())
      return SystemFailure("reading the symbolic link " + candidate, ENAMETOOLONG);
    if (n == 0) return SystemFailure("reading the symbolic link " + candidate, ENOENT);
    target.resize(static_cast<std::size_t>(n));
    if (target.front() == '/') current = "/";
    PushComponents(pending, target);
  }
  ResolvedPath result;
  result.path = current.empty() ? "." : current;
  return result;
}

}  // namespace kestrun
