// Building the plan every port of a provision run shares, for any front end:
// the template and the table loaded and checked as a whole before any port
// is touched.
#pragma once

#include <string>
#include <vector>

#include "batch/PortJob.h"
#include "batch/Provision.h"

namespace kestrun::batch {

// Fills `plan` (command, template values, groups, the shared provision setup)
// from `request`. False with `problems` naming everything wrong with the
// template, the table, their rows merged, and the flags; no port is touched.
// The caller sets plan.provision->store to its journal (needed by --assign and
// --skip-done) and plan.connection.
bool PrepareProvision(const ProvisionRequest& request, JobPlan& plan, std::vector<std::string>& problems);

}  // namespace kestrun::batch
