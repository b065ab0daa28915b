// Reading a server string the way libpq reads it, and whether this build
// has the shared journal at all: journal/Conninfo.cpp with libpq,
// journal/NoServerJournal.cpp in a build without it (Windows).
#pragma once

#include <string>
#include <vector>

namespace kestrun::journal {

struct ConninfoPair {
  std::string keyword, value;
};

// True when `text` is a server string libpq takes (a URL or keyword=value
// pairs); `pairs` (when given) gets its keywords and their values.
bool ParseConninfo(const std::string& text, std::vector<ConninfoPair>* pairs);

// False in a build without the shared journal.
bool SharedJournalBuilt();

}  // namespace kestrun::journal
