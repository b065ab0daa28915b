// Where rv450-cli takes the device password from when it is not on the
// command line, where every user of the machine could read it (ps): a file
// only its owner can read, or one line typed on the terminal or piped in.
#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "cli/Stop.h"

namespace kestrun::cli {

// The first line of `path`, without its line end. Refused, as ssh refuses a
// key file, when the file is not a regular file or other users may read it
// (SecretFileRefusal: on Linux not the user's own or mode & 077, on Windows
// an access list that lets Everyone, Authenticated Users or Users read it);
// those are checked on the file opened. Links on its path are followed only as
// ResolvePathLinks allows, and the file itself is opened without following one.
bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error);

// One line of `in`, without its line end. On a terminal (`terminal`), asks on
// `prompt` and reads with echo off; a stop (Ctrl+C) while asking gives the
// terminal its echo back and ends the program with 130.
bool AskPassword(std::istream& in, bool terminal, std::ostream& prompt, CStopSource* stop,
                 std::string& password, std::string& error);

}  // namespace kestrun::cli
