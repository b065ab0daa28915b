// The shared journal in a build without libpq (Windows): a server string is
// still recognised (so that it is never taken as a file name, and its
// password is masked), and refused with the reason.
#include <algorithm>
#include <cctype>

#include "journal/Conninfo.h"
#include "journal/ServerJournal.h"
#include "journal/ServerString.h"

namespace kestrun::journal {

namespace {

// libpq's connection keywords (PostgreSQL 15).
const char* const kKeywords[] = {"host",
                                 "hostaddr",
                                 "port",
                                 "dbname",
                                 "user",
                                 "password",
                                 "passfile",
                                 "channel_binding",
                                 "connect_timeout",
                                 "client_encoding",
                                 "options",
                                 "application_name",
                                 "fallback_application_name",
                                 "keepalives",
                                 "keepalives_idle",
                                 "keepalives_interval",
                                 "keepalives_count",
                                 "tcp_user_timeout",
                                 "replication",
                                 "gssencmode",
                                 "sslmode",
                                 "sslcompression",
                                 "sslcert",
                                 "sslkey",
                                 "sslpassword",
                                 "sslrootcert",
                                 "sslcrl",
                                 "sslcrldir",
                                 "sslsni",
                                 "requirepeer",
                                 "ssl_min_protocol_version",
                                 "ssl_max_protocol_version",
                                 "krbsrvname",
                                 "gsslib",
                                 "service",
                                 "target_session_attrs"};

bool IsKeyword(const std::string& word) {
  return std::any_of(std::begin(kKeywords), std::end(kKeywords), [&](const char* k) { return word == k; });
}

}  // namespace

// keyword = value pairs as libpq reads them: a value is a run of non-blanks
// or a single-quoted text with backslash escapes.
bool ParseConninfo(const std::string& text, std::vector<ConninfoPair>* pairs) {
  std::size_t i = 0;
  const auto blank = [&] {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  };
  std::vector<ConninfoPair> found;
  for (blank(); i < text.size(); blank()) {
    ConninfoPair pair;
    while (i < text.size() && text[i] != '=' && !std::isspace(static_cast<unsigned char>(text[i])))
      pair.keyword += text[i++];
    blank();
    if (i == text.size() || text[i] != '=' || !IsKeyword(pair.keyword)) return false;
    ++i;
    blank();
    if (i < text.size() && text[i] == '\'') {
      for (++i;; ++i) {
        if (i == text.size()) return false;  // an unterminated quote
        if (text[i] == '\'') break;
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        pair.value += text[i];
      }
      ++i;
    } else {
      while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        pair.value += text[i++];
      }
    }
    found.push_back(std::move(pair));
  }
  if (found.empty()) return false;
  if (pairs) *pairs = std::move(found);
  return true;
}

bool SharedJournalBuilt() { return false; }

std::string MaskedUrl(const std::string& url) { return MaskServerString(url); }

CServerJournal::~CServerJournal() = default;
void CServerJournal::Close() {}
bool CServerJournal::Connected() const { return false; }

bool CServerJournal::Connect(const std::string&, std::string& error) {
  error = "this build has no shared journal";
  return false;
}

bool CServerJournal::Insert(const std::vector<JournalRow>&, std::string& error) { return Connect("", error); }

bool CServerJournal::Claim(const std::string&, const std::vector<std::string>&, const std::string&,
                           int& index, std::string& error) {
  index = -1;
  return Connect("", error);
}

bool CServerJournal::SendClaims(const std::vector<ClaimLine>&, std::vector<std::string>&,
                                std::string& error) {
  return Connect("", error);
}

bool CServerJournal::Rows(const JournalQuery&, std::vector<JournalRow>& rows, std::string& error) {
  rows.clear();
  return Connect("", error);
}

bool CServerJournal::Devices(const JournalQuery&, std::vector<DeviceLine>& devices, std::string& error) {
  devices.clear();
  return Connect("", error);
}

}  // namespace kestrun::journal
