#include "cli/PasswordSource.h"

#include <unistd.h>

#include <cerrno>

#include "port/Console.h"
#include "port/PathLinks.h"
#include "port/Platform.h"
#include "port/SystemError.h"

namespace kestrun::cli {

namespace {

// A password file is a line, not a document: anything longer is not one.
constexpr std::size_t kMaxPasswordFileBytes = 64 * 1024;

std::string WithoutLineEnd(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error) {
  const std::string where = "--password-file " + path + ": ";
  // Links on the way are followed only as for every other file the program
  // opens: one another user planted in /tmp must not hand us someone's secret.
  const ResolvedPath resolved = ResolvePathLinks(path);
  if (!resolved.ok) {
    error = where + resolved.step + ": " + resolved.reason;
    return false;
  }
  // The resolved path holds no link; one put there since is not followed, and
  // what is checked below is the file opened, not whatever the name shows now.
  // Non-blocking, so that a FIFO under the name is refused, not waited on.
  const int fd = OpenForReading(resolved.path, true);
  if (fd < 0) {
    error = where + SystemReason(-fd);
    return false;
  }
  std::string bytes;
  if (const std::string refusal = SecretFileRefusal(fd, path); !refusal.empty()) {
    error = where + refusal;
  } else {
    char buffer[4096];
    ssize_t n = 0;
    while (bytes.size() <= kMaxPasswordFileBytes && (n = ::read(fd, buffer, sizeof buffer)) > 0)
      bytes.append(buffer, static_cast<std::size_t>(n));
    if (n < 0)
      error = where + SystemReason(errno);
    else if (bytes.size() > kMaxPasswordFileBytes)
      error = where + "too large for a password file";
    else if (bytes.empty())
      error = where + "empty; it must hold the password on its first line";
  }
  ::close(fd);
  if (!error.empty()) return false;
  password = WithoutLineEnd(bytes.substr(0, bytes.find('\n')));
  return true;
}

bool AskPassword(std::istream& in, bool terminal, std::ostream& prompt, CStopSource* stop,
                 std::string& password, std::string& error) {
  std::string line;
  bool got = false;
  if (terminal) {
    prompt << "Password: " << std::flush;
    const CEchoOff echoOff;
    int subscription = -1;
    if (stop && echoOff.active()) {
      // Nothing is open yet, so a stop leaves at once, but not with echo off.
      subscription = stop->Subscribe([&echoOff] {
        echoOff.Restore();
        ::_exit(130);
      });
    }
    got = static_cast<bool>(std::getline(in, line));
    if (subscription >= 0) stop->Unsubscribe(subscription);
    prompt << "\n";
  } else {
    got = static_cast<bool>(std::getline(in, line));
  }
  if (!got && line.empty()) {
    error = "--password -: no password was given on standard input";
    return false;
  }
  password = WithoutLineEnd(line);
  return true;
}

}  // namespace kestrun::cli
