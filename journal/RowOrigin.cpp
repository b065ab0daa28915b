#include "journal/RowOrigin.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace kestrun::journal {

std::string StationName() {
  char name[256] = {};
  return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

std::string UserName() {
  passwd account{};
  passwd* found = nullptr;
  std::vector<char> buffer(4096);
  if (::getpwuid_r(::geteuid(), &account, buffer.data(), buffer.size(), &found) == 0 && found)
    return found->pw_name;
  const char* user = std::getenv("USER");
  return user ? user : std::to_string(::geteuid());
}

JournalRow RowFrom(const std::string& program, const std::string& version) {
  JournalRow row;
  row.station = StationName();
  row.user = UserName();
  row.program = program;
  row.version = version;
  return row;
}

}  // namespace kestrun::journal
