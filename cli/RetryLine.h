// The command line that retries a batch's failed trackers: the same arguments
// with --port narrowed to the ports that failed and, for provision, --imei
// narrowed to the failed trackers' IMEIs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/Report.h"

namespace kestrun::cli {

// Whether a port's result calls for a retry: a failure (exit 3 and above) or
// differences found after a write.
bool NeedsRetry(const batch::PortReport& report);

struct RetryLine {
  std::string line;                // empty when no tracker needs a retry (or none can be retried now)
  std::vector<std::string> notes;  // what the line leaves out and how to add it back
};

// "rv450-cli ARGS..." quoted for a POSIX shell, with `args` (the arguments
// after the program name) narrowed to the reports that need a retry: --port
// lists only their ports (those `present` still finds; each other one gets a
// note), and provision names them by --imei unless one has no valid IMEI
// (its tracker never answered). The line repeats no secret and replaces no
// file: --report FILE.csv becomes FILE-retry.csv, --password TEXT becomes
// --password -, a server string loses its password (with a note).
RetryLine RetryCommandLine(const std::vector<std::string>& args,
                           const std::vector<batch::PortReport>& reports,
                           const std::function<bool(const batch::PortReport&)>& present = {});

// One argument quoted for a POSIX shell: as it is when it holds only safe
// characters, else in single quotes.
std::string ShellQuoted(const std::string& arg);

}  // namespace kestrun::cli
