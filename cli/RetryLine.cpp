#include "cli/RetryLine.h"

#include <algorithm>
#include <cctype>

namespace kestrun::cli {

namespace {

// Whether `arg` is the option `names` (its value in the next argument), or
// carries its value ("--port=5", "-p5").
enum class Match { No, WithNext, Alone };

Match Matches(const std::string& arg, const std::string& shortName, const std::string& longName) {
  if (arg == longName || (!shortName.empty() && arg == shortName)) return Match::WithNext;
  if (arg.rfind(longName + "=", 0) == 0) return Match::Alone;
  if (!shortName.empty() && arg.size() > 2 && arg.rfind(shortName, 0) == 0) return Match::Alone;
  return Match::No;
}

}  // namespace

bool NeedsRetry(const PortReport& r) {
  // A diff's differences are its result; after a write they are a failure.
  return r.exitCode >= kExitPortFailed || (r.outcome == "different" && r.command != Command::Diff);
}

std::string ShellQuoted(const std::string& arg) {
  const bool safe = !arg.empty() && std::all_of(arg.begin(), arg.end(), [](unsigned char c) {
    return std::isalnum(c) || std::string("@%+=:,./_-").find(static_cast<char>(c)) != std::string::npos;
  });
  if (safe) return arg;
  std::string text = "'";
  for (char c : arg) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return text + "'";
}

std::string RetryCommandLine(const std::vector<std::string>& args, const std::vector<PortReport>& reports) {
  std::vector<const PortReport*> failed;
  for (const PortReport& r : reports)
    if (NeedsRetry(r)) failed.push_back(&r);
  if (failed.empty()) return {};
  const bool provision = failed.front()->command == Command::Provision;
  const bool byImei = provision && std::all_of(failed.begin(), failed.end(), [](const PortReport* r) {
                        return !r->identity.Key().empty();
                      });
  std::string narrowed;
  for (const PortReport* r : failed) {
    const std::string item = byImei ? r->identity.Key() : r->port > 0 ? std::to_string(r->port) : r->device;
    narrowed += (narrowed.empty() ? "" : ",") + item;
  }
  // --imei narrows provision; --port narrows everything else, and provision
  // when it cannot name its failed trackers (an --imei list would then skip them).
  const char* shortName = byImei ? "" : "-p";
  const char* longName = byImei ? "--imei" : "--port";
  std::vector<std::string> kept;
  std::size_t insertAt = std::string::npos;
  bool operandsOnly = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!operandsOnly && arg == "--") {
      operandsOnly = true;
      if (insertAt == std::string::npos) insertAt = kept.size();
    }
    const Match m = operandsOnly ? Match::No : Matches(arg, shortName, longName);
    // Retrying by --port drops an --imei list that would skip trackers.
    const Match imei = operandsOnly || byImei || !provision ? Match::No : Matches(arg, "", "--imei");
    if (m == Match::No && imei == Match::No) {
      kept.push_back(arg);
      continue;
    }
    if (m != Match::No && insertAt == std::string::npos) insertAt = kept.size();
    if ((m == Match::WithNext || imei == Match::WithNext) && i + 1 < args.size()) ++i;
  }
  if (insertAt == std::string::npos) insertAt = kept.size();
  kept.insert(kept.begin() + static_cast<std::ptrdiff_t>(insertAt), {longName, narrowed});
  std::string line = "rv450-cli";
  for (const std::string& arg : kept) line += " " + ShellQuoted(arg);
  return line;
}

}  // namespace kestrun::cli
