#include "cli/RetryLine.h"

#include <algorithm>
#include <cctype>

#include "journal/ServerString.h"

namespace kestrun::cli {

using namespace kestrun::batch;

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

namespace {

// FILE.csv -> FILE-retry.csv: the retry's report beside the first one, which it never replaces.
std::string RetryReport(const std::string& file) {
  const std::size_t dot = file.rfind('.');
  const std::size_t slash = file.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return file + "-retry";
  return file.substr(0, dot) + "-retry" + file.substr(dot);
}

}  // namespace

RetryLine RetryCommandLine(const std::vector<std::string>& args, const std::vector<PortReport>& reports,
                           const std::function<bool(const PortReport&)>& present) {
  RetryLine retry;
  std::vector<const PortReport*> failed;
  for (const PortReport& r : reports) {
    if (!NeedsRetry(r)) continue;
    // A port that is gone would make the whole retry exit 2 before any port.
    if (present && !present(r)) {
      const std::string port = r.port > 0 ? std::to_string(r.port) : r.device;
      retry.notes.push_back((r.port > 0 ? "COM" : "") + port +
                            " is gone: plug the tracker in and add --port " + port);
      continue;
    }
    failed.push_back(&r);
  }
  if (failed.empty()) return retry;
  const bool provision = failed.front()->command == Command::Provision;
  const bool byImei = provision && std::all_of(failed.begin(), failed.end(), [](const PortReport* r) {
                        return !r->identity.Key().empty();
                      });
  std::string ports, imeis;
  for (const PortReport* r : failed) {
    ports += (ports.empty() ? "" : ",") + (r->port > 0 ? std::to_string(r->port) : r->device);
    if (byImei) imeis += (imeis.empty() ? "" : ",") + r->identity.Key();
  }
  // --port names only the failed trackers' ports; provision names its
  // trackers by --imei too, unless one cannot be named (an --imei list would
  // then skip it), when the ports alone do.
  std::vector<std::string> kept;
  std::size_t insertAt = std::string::npos;
  bool operandsOnly = false, strippedServer = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!operandsOnly && arg == "--") {
      operandsOnly = true;
      if (insertAt == std::string::npos) insertAt = kept.size();
    }
    if (operandsOnly) {
      kept.push_back(arg);
      continue;
    }
    const bool last = i + 1 >= args.size();
    // The option's value, and whether it was the next argument.
    auto valueOf = [&](Match m, const std::string& name) {
      if (m == Match::WithNext) return last ? std::string() : args[++i];
      const std::size_t eq = arg.find('=');
      return eq != std::string::npos && arg.rfind(name + "=", 0) == 0 ? arg.substr(eq + 1) : arg.substr(2);
    };
    const Match port = Matches(arg, "-p", "--port");
    const Match imei = provision ? Matches(arg, "", "--imei") : Match::No;
    if (port != Match::No || imei != Match::No) {
      if (port != Match::No && insertAt == std::string::npos) insertAt = kept.size();
      if ((port == Match::WithNext || imei == Match::WithNext) && !last) ++i;
      continue;
    }
    if (const Match m = Matches(arg, "", "--report"); m != Match::No) {
      kept.insert(kept.end(), {"--report", RetryReport(valueOf(m, "--report"))});
    } else if (Matches(arg, "", "--password") != Match::No) {
      if (Matches(arg, "", "--password") == Match::WithNext && !last) ++i;
      kept.insert(kept.end(), {"--password", "-"});
    } else if (const Match j = Matches(arg, "", "--journal"); j != Match::No) {
      const std::string target = valueOf(j, "--journal");
      const bool server = journal::ClassifyTarget(target) == journal::TargetKind::Server;
      const bool secret = server && journal::HoldsPassword(target);
      strippedServer = strippedServer || secret;
      kept.insert(kept.end(), {"--journal", secret ? journal::WithoutPassword(target) : target});
    } else {
      kept.push_back(arg);
    }
  }
  if (insertAt == std::string::npos) insertAt = kept.size();
  std::vector<std::string> narrowed = {"--port", ports};
  if (byImei) narrowed.insert(narrowed.end(), {"--imei", imeis});
  kept.insert(kept.begin() + static_cast<std::ptrdiff_t>(insertAt), narrowed.begin(), narrowed.end());
  retry.line = "rv450-cli";
  for (const std::string& arg : kept) retry.line += " " + ShellQuoted(arg);
  // Whatever else may hold a password (a mistyped option) is masked as a message would be.
  retry.line = journal::MaskSecrets(retry.line);
  if (strippedServer)
    retry.notes.push_back(
        "the retry line leaves out the journal server's password: give it through PGPASSWORD or libpq's "
        "password file (~/.pgpass)");
  return retry;
}

}  // namespace kestrun::cli
