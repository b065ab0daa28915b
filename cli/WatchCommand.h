// rv450-cli identify, verify or provision --watch: station mode on the
// ports given, which may be absent at start. Each port's job starts when its
// device appears; a line on standard input starts the next tracker on every
// finished port whose device stayed; Ctrl+C or the end of the input ends it.
#pragma once

#include <ostream>
#include <vector>

#include "batch/JobPlan.h"
#include "batch/Station.h"
#include "cli/Args.h"
#include "cli/Cli.h"

namespace kestrun::cli {

// Runs the station until Ctrl+C (env.stop: running jobs are stopped) or the
// end of env.input (running jobs end first); says one line per tracker on
// `err` as its job ends. Returns the report of every job on which a tracker
// answered, in the order they ended.
std::vector<batch::PortReport> RunWatch(const Options& o, const Environment& env, const batch::JobPlan& plan,
                                        const std::vector<batch::StationPort>& ports, std::ostream& err);

}  // namespace kestrun::cli
