// What a journal target is (a SQLite file or a shared server), and every
// server string's secrets hidden: the one place that knows where a password
// hides in a postgresql:// URL, in libpq's keyword=value pairs and in the
// messages libpq makes of them.
#pragma once

#include <string>

namespace kestrun::journal {

enum class TargetKind {
  Path,     // a SQLite file
  Server,   // postgresql:// or postgres:// in any letter case, or keyword=value pairs libpq takes
  Refused,  // anything else holding "://" or "password=": never a file name
};

TargetKind ClassifyTarget(const std::string& target);

// The server string as libpq takes it: its scheme in lower case.
std::string NormalServerString(const std::string& server);

// Whether the server string holds a password (or an SSL key's password).
bool HoldsPassword(const std::string& server);

// The server string with its passwords shown as ***.
std::string MaskServerString(const std::string& server);

// The server string without its passwords, for a command line that is
// printed: libpq then takes it from PGPASSWORD or its password file.
std::string WithoutPassword(const std::string& server);

// `text` (a message, a command line) with every password it may hold shown as
// ***: those of `server` (also the fragments libpq quotes of a malformed
// one), and whatever follows "password=" or sits in a URL's user part.
std::string MaskSecrets(const std::string& text, const std::string& server = "");

}  // namespace kestrun::journal
