// What every port of one command shares (the plan), what each port's job
// tells a front end as it goes, and the lines a write of the plan would send.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "batch/PortReport.h"
#include "batch/Provision.h"
#include "protocol/FormModel.h"
#include "settings/Connection.h"

namespace kestrun::batch {

// One step of a port's job as it happens, for a front end that follows each
// port on a row of its own (the window's Provisioning rows).
struct JobEvent {
  enum class Kind {
    Phase,     // a step begins: `phase` is "identify", "write", "verify" or "read"
    Waking,    // the tracker is being woken: attempt `index` of `count`
    Group,     // group `group` begins: `index` of `count`
    Identity,  // the identity queries were answered: `identity`
    Status,    // the engine's status line: `text`
  };
  Kind kind = Kind::Status;
  std::string phase;
  Group group = Group::Sri;
  int index = 0;
  int count = 0;
  TrackerIdentity identity;
  std::string text;
};

// What every port of one command shares.
struct JobPlan {
  Command command = Command::None;
  CFormValues values;  // write and verify: the file's values as sent; diff: as loaded
  GroupSelection sendGroups{};
  GroupSelection readGroups{};
  Connection connection;            // each job puts in its port and traffic log
  std::string file;                 // the file given (write, diff, verify)
  std::vector<std::string> capped;  // corrections applied (--allow-caps)
  bool identify = true;             // read, write, diff, verify: the identity queries in the first bracket
  std::string outputBase;           // read with several ports: -o FILE, each file named by its IMEI
  std::function<void(int port, const std::string& status)> onStatus;  // tests watch the progress
  // Every step of every port, on the engine's worker (or the job's thread).
  std::function<void(int port, const JobEvent& event)> onEvent;
  // The port's report as soon as its job ends, on the job's thread: the
  // journal row of each tracker is committed then, not after the batch.
  std::function<void(PortReport& report)> onFinished;
  // provision: the table, flags and journal every port shares (PrepareProvision).
  std::shared_ptr<ProvisionSetup> provision;
  // provision: what became of a port's tracker once its identity was known,
  // on the job's (or its engine's) thread; a window shows it per port.
  std::function<void(int port, const TrackerDecision& decision)> onDecision;
};

// The lines write would send for `plan` in Send All order, each with the
// password shown as **** and the stamp as <UTC>: what --dry-run prints.
std::vector<std::string> LinesToSend(const JobPlan& plan);
// The same for `values` (a tracker's merged values) in place of the plan's.
std::vector<std::string> LinesToSend(const JobPlan& plan, const CFormValues& values);

// "RVSRI", ... of the groups selected, in Send All order (or in `order`).
std::vector<std::string> GroupNamesOf(const GroupSelection& selection,
                                      const std::vector<Group>& order = SendOrder());

// `file` with "-<tag>" before its extension: fleet.ini, COM5 -> fleet-COM5.ini.
std::string OutputFileWithTag(const std::string& file, const std::string& tag);

}  // namespace kestrun::batch
