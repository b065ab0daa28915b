#include "journal/ServerString.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "journal/Conninfo.h"

namespace kestrun::journal {

namespace {

const char* const kMask = "***";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsUrl(const std::string& text) {
  const std::string lower = Lower(text.substr(0, 13));
  return lower.rfind("postgresql://", 0) == 0 || lower.rfind("postgres://", 0) == 0;
}

bool IsSecretKey(const std::string& key) {
  const std::string lower = Lower(key);
  return lower == "password" || lower == "sslpassword";
}

// A URL's user part: [begin, at) before the host, with `at` its last '@'
// (libpq stops at the first one; a password with an unencoded '@' runs to
// the last); npos when there is none.
struct UserPart {
  std::size_t begin = std::string::npos, colon = std::string::npos, at = std::string::npos;
};

UserPart UserPartOf(const std::string& text, std::size_t scheme, const char* stops) {
  UserPart part;
  const std::size_t begin = scheme + 3;
  const std::size_t end = std::min(text.find_first_of(stops, begin), text.size());
  const std::size_t at = text.rfind('@', end == 0 ? 0 : end - 1);
  if (at == std::string::npos || at < begin || at >= end) return part;
  part.begin = begin;
  part.at = at;
  const std::size_t colon = text.find(':', begin);
  if (colon < at) part.colon = colon;
  return part;
}

// Where the value after "password=" at `value` ends: its closing quote, or
// the first space, '&' or '"'.
std::size_t ValueEnd(const std::string& text, std::size_t value) {
  if (value < text.size() && text[value] == '\'') {
    for (std::size_t i = value + 1; i < text.size(); ++i) {
      if (text[i] == '\\') {
        ++i;
        continue;
      }
      if (text[i] == '\'') return i + 1;
    }
    return text.size();
  }
  return std::min(text.find_first_of(" \t\r\n&\"", value), text.size());
}

// Calls `each(begin, end)` for every value that follows "password" (any
// letter case, "sslpassword" too) and "=", spaces allowed around it.
template <typename Each>
void ForEachPasswordValue(const std::string& text, Each each) {
  const std::string lower = Lower(text);
  for (std::size_t from = 0;;) {
    const std::size_t at = lower.find("password", from);
    if (at == std::string::npos) return;
    std::size_t i = at + 8;
    from = i;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size() || text[i] != '=') continue;
    ++i;
    while (i < text.size() && text[i] == ' ') ++i;
    const std::size_t end = ValueEnd(text, i);
    if (end > i) each(i, end);
    from = std::max(from, end);
  }
}

void ReplaceAll(std::string& text, const std::string& what, const std::string& with) {
  if (what.empty()) return;
  for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += with.size())
    text.replace(at, what.size(), with);
}

// The passwords `server` may hold, read the way libpq reads them and the way
// a mistyped string meant them.
std::vector<std::string> SecretsOf(const std::string& server) {
  std::vector<std::string> secrets;
  if (server.empty()) return secrets;
  const std::string normal = NormalServerString(server);
  std::vector<ConninfoPair> pairs;
  if (ParseConninfo(normal, &pairs))
    for (const ConninfoPair& pair : pairs)
      if (!pair.value.empty() && IsSecretKey(pair.keyword)) secrets.push_back(pair.value);
  if (IsUrl(normal)) {
    const UserPart part = UserPartOf(normal, normal.find("://"), "/?");
    if (part.colon != std::string::npos) {
      const std::string password = normal.substr(part.colon + 1, part.at - part.colon - 1);
      secrets.push_back(password);
      // libpq quotes the pieces around an unencoded '@' on their own.
      for (std::size_t from = 0, at; from <= password.size(); from = at + 1) {
        at = std::min(password.find('@', from), password.size());
        secrets.push_back(password.substr(from, at - from));
      }
      // The host libpq takes after the first '@' holds the rest of the password.
      const std::size_t first = normal.find('@', part.colon);
      if (first < part.at) secrets.push_back(normal.substr(first + 1, part.at - first - 1));
    }
  }
  ForEachPasswordValue(normal, [&](std::size_t begin, std::size_t end) {
    std::string value = normal.substr(begin, end - begin);
    secrets.push_back(value);
    if (value.size() >= 2 && value.front() == '\'') secrets.push_back(value.substr(1, value.size() - 2));
  });
  secrets.erase(std::remove(secrets.begin(), secrets.end(), std::string()), secrets.end());
  // The longest first, so that no part of a longer one is left behind.
  std::sort(secrets.begin(), secrets.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  return secrets;
}

}  // namespace

TargetKind ClassifyTarget(const std::string& target) {
  if (IsUrl(target)) return TargetKind::Server;
  if (target.find('=') != std::string::npos && ParseConninfo(target, nullptr)) return TargetKind::Server;
  const std::string lower = Lower(target);
  if (lower.find("://") != std::string::npos || lower.find("password=") != std::string::npos)
    return TargetKind::Refused;
  return TargetKind::Path;
}

std::string NormalServerString(const std::string& server) {
  if (!IsUrl(server)) return server;
  const std::size_t scheme = server.find("://");
  return Lower(server.substr(0, scheme)) + server.substr(scheme);
}

bool HoldsPassword(const std::string& server) {
  return !SecretsOf(server).empty() || MaskSecrets(server) != server;
}

std::string MaskServerString(const std::string& server) { return MaskSecrets(server, server); }

std::string WithoutPassword(const std::string& server) {
  std::string text = server;
  if (IsUrl(text)) {
    const std::size_t scheme = text.find("://");
    const UserPart part = UserPartOf(text, scheme, "/?");
    if (part.colon != std::string::npos)
      text.erase(part.colon == part.begin ? part.begin : part.colon,
                 part.colon == part.begin ? part.at + 1 - part.begin : part.at - part.colon);
    const std::size_t query = text.find('?', scheme);
    if (query != std::string::npos) {
      std::string kept;
      for (std::size_t from = query + 1, end; from <= text.size(); from = end + 1) {
        end = std::min(text.find('&', from), text.size());
        const std::string parameter = text.substr(from, end - from);
        if (parameter.empty() || IsSecretKey(parameter.substr(0, parameter.find('=')))) continue;
        kept += (kept.empty() ? "?" : "&") + parameter;
      }
      text = text.substr(0, query) + kept;
    }
  } else {
    // keyword=value pairs: the pairs whose keyword names a password go.
    std::string kept;
    for (std::size_t i = 0; i < text.size();) {
      while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
      if (i >= text.size()) break;
      const std::size_t begin = i;
      while (i < text.size() && text[i] != '=' && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
      const std::string key = text.substr(begin, i - begin);
      while (i < text.size() && text[i] == ' ') ++i;
      if (i < text.size() && text[i] == '=') {
        ++i;
        while (i < text.size() && text[i] == ' ') ++i;
        i = text[i] == '\'' ? ValueEnd(text, i) : std::min(text.find_first_of(" \t\r\n", i), text.size());
      }
      if (!IsSecretKey(key)) kept += (kept.empty() ? "" : " ") + text.substr(begin, i - begin);
    }
    text = kept;
  }
  // Whatever a malformed string still holds.
  return MaskSecrets(text, server);
}

std::string MaskSecrets(const std::string& text, const std::string& server) {
  std::string masked = text;
  for (const std::string& secret : SecretsOf(server)) {
    ReplaceAll(masked, "\"" + secret + "\"", std::string("\"") + kMask + "\"");
    // A short password would turn every message into stars: it is hidden
    // where libpq quotes it, and the rules below hide it in a server string.
    if (secret.size() >= 4) ReplaceAll(masked, secret, kMask);
  }
  // Every URL's user part: user:PASSWORD@host.
  for (std::size_t from = 0, scheme; (scheme = masked.find("://", from)) != std::string::npos;) {
    from = scheme + 3;
    const UserPart part = UserPartOf(masked, scheme, "/?# \t\r\n\"'");
    if (part.colon == std::string::npos) continue;
    if (masked.compare(part.colon + 1, part.at - part.colon - 1, kMask) != 0)
      masked.replace(part.colon + 1, part.at - part.colon - 1, kMask);
  }
  // Every password=VALUE (a URL parameter, a keyword=value pair).
  std::vector<std::pair<std::size_t, std::size_t>> values;
  ForEachPasswordValue(masked, [&](std::size_t begin, std::size_t end) { values.emplace_back(begin, end); });
  for (auto it = values.rbegin(); it != values.rend(); ++it)
    masked.replace(it->first, it->second - it->first, kMask);
  return masked;
}

}  // namespace kestrun::journal
