// The command line that retries a batch's failed trackers: the same arguments
// with --port narrowed to the ports that failed, or, for provision, --imei
// narrowed to the failed trackers' IMEIs (the ports kept, so a tracker plugged
// into another port is still found).
#pragma once

#include <string>
#include <vector>

#include "cli/Report.h"

namespace kestrun::cli {

// Whether a port's result calls for a retry: a failure (exit 3 and above) or
// differences found after a write.
bool NeedsRetry(const PortReport& report);

// "rv450-cli ARGS..." quoted for a POSIX shell, with `args` (the arguments
// after the program name) narrowed to the reports that need a retry; empty
// when none does. provision falls back to --port when a failed port has no
// valid IMEI (its tracker never answered).
std::string RetryCommandLine(const std::vector<std::string>& args, const std::vector<PortReport>& reports);

// One argument quoted for a POSIX shell: as it is when it holds only safe
// characters, else in single quotes.
std::string ShellQuoted(const std::string& arg);

}  // namespace kestrun::cli
