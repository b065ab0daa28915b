// Where a journal row is made: the station (host name), the user, the
// program and its version. The window and the command line start every row
// they append from here.
#pragma once

#include <string>

#include "journal/Journal.h"

namespace kestrun::journal {

// The host name; empty when it cannot be had.
std::string StationName();
// The account's name, else $USER, else the numeric user id.
std::string UserName();

// A row with the station, user, program and version filled in.
JournalRow RowFrom(const std::string& program, const std::string& version);

}  // namespace kestrun::journal
