// What rv450-cli and the Provisioning window do alike around the port jobs:
// the checks before any port is touched (each refusal in one wording for
// both), each port's output file, its journal row and its result text.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "batch/PortJob.h"
#include "batch/Provision.h"
#include "journal/Journal.h"
#include "journal/JournalStore.h"

namespace kestrun::batch {

// Why a run was refused before any port: the problems one a line (unescaped,
// each front end shows them its own way), then the message that ends it.
struct Refusal {
  std::vector<std::string> problems;
  std::string message;
};

// The config file a command sends or compares: loaded and checked into
// `plan` (values, groups, the corrections `allowCaps` applies in plan.capped).
struct InputRequest {
  Command command = Command::None;
  std::string file;
  std::optional<GroupSelection> groups;
  std::string password;
  bool allowCaps = false;
  bool capsHint = false;  // a refusal whose values could all be capped names --allow-caps
};
bool PrepareInput(const InputRequest& request, JobPlan& plan, Refusal& refusal);

// provision: the template and the table into `plan`.
bool PrepareTable(const ProvisionRequest& request, JobPlan& plan, Refusal& refusal);

// Opens the journal the rows go to and checks its pages (a damaged page
// would otherwise show only when the first row is committed). `damaged`:
// the file opened but failed the check.
bool OpenJournal(journal::CJournalStore& store, const std::string& target, std::string& error,
                 bool* damaged = nullptr);
// A row dealt while the shared server is away could be dealt twice.
bool DealingNeedsServer(const journal::CJournalStore& store);

// The file a read of several ports writes for `port`: "rv450-COM5.ini".
std::string OutputFileForPort(const std::string& file, int port);

// The journal row of one port's run: who ran what where, on which tracker,
// with which settings, and how it ended.
journal::JournalRow JournalRowFor(const PortReport& report, const JobPlan& plan);

}  // namespace kestrun::batch
