#include "journal/RowOrigin.h"

#include "port/Platform.h"

namespace kestrun::journal {

std::string StationName() { return HostName(); }

std::string UserName() { return LoginName(); }

JournalRow RowFrom(const std::string& program, const std::string& version) {
  JournalRow row;
  row.station = StationName();
  row.user = UserName();
  row.program = program;
  row.version = version;
  return row;
}

}  // namespace kestrun::journal
