#include "window/WindowJournal.h"

#include <cstdio>
#include <cstdlib>

#include "journal/RowOrigin.h"
#include "port/Platform.h"
#include "settings/KeyCompare.h"

#ifndef KESTRUN_VERSION
#define KESTRUN_VERSION "0"
#endif

namespace kestrun {

namespace {

// An operation's outcome in the journal, in the words and codes rv450-cli uses.
struct OutcomeEntry {
  Outcome outcome;
  const char* word;
  int code;
};
constexpr OutcomeEntry kOutcomes[] = {
    {Outcome::Success, "ok", 0},
    {Outcome::NothingSelected, "nothing-to-send", 2},
    {Outcome::NothingToSend, "nothing-to-send", 2},
    {Outcome::PortNotOpened, "port-not-opened", 3},
    {Outcome::TrackerFailed, "tracker-failed", 4},
    {Outcome::TrackerChanged, "tracker-changed", 4},
    {Outcome::Stopped, "stopped", 130},
};

std::string GroupNames(const GroupSelection& groups) {
  std::string names;
  for (Group group : SendOrder())
    if (groups[static_cast<int>(group)])
      names += (names.empty() ? "RV" : ",RV") + std::string(Info(group).name);
  return names;
}

}  // namespace

std::string CWindowJournal::TargetFor(const std::string& configured) {
  if (const auto env = EnvironmentValue("RV450_JOURNAL"); env && !env->empty()) return *env;
  return configured.empty() ? journal::CJournal::DefaultPath() : configured;
}

void CWindowJournal::Configure(const std::string& configured) {
  const std::string target = TargetFor(configured);
  if (target == target_) return;
  target_ = target;
  openFailed_ = false;
  noted_ = false;
}

void CWindowJournal::IdentityRead(int port, const TrackerIdentity& identity) { identities_[port] = identity; }

void CWindowJournal::Begin(const char* command, const GroupSelection& sent, const CFormValues& values) {
  Pending p{journal::RowFrom("rv450-kestrun", KESTRUN_VERSION), std::chrono::steady_clock::now()};
  p.row.command = command;
  p.row.groups = GroupNames(sent);
  if (!p.row.groups.empty()) p.row.settingsHash = journal::SettingsHash(SentKeyLines(values, sent));
  pending_ = std::move(p);
}

bool CWindowJournal::OpenStore(std::string& note) {
  if (opened_ == target_ && store_) return true;
  if (openFailed_) return false;
  store_ = std::make_unique<journal::CJournalStore>();
  std::string error;
  if (target_.empty()) error = "no place for it is known (neither XDG_DATA_HOME nor HOME is set)";
  if (target_.empty() || !store_->Open(target_, journal::CJournal::DefaultPath(), error)) {
    store_.reset();
    opened_.clear();
    openFailed_ = true;
    note = "The journal could not be opened: " + error;
    return false;
  }
  opened_ = target_;
  note = store_->warning();
  return true;
}

std::string CWindowJournal::Finish(const OperationResult& result, int port, const std::string& device,
                                   const std::string& firmware) {
  if (!pending_) return {};
  Pending p = std::move(*pending_);
  pending_.reset();
  journal::JournalRow& row = p.row;
  row.port = port > 0 ? "COM" + std::to_string(port) : "";
  row.device = device;
  // The last Identify on this port names the tracker; an invalid IMEI is no key.
  if (const auto found = identities_.find(port); found != identities_.end()) {
    const TrackerIdentity& id = found->second;
    row.imei = id.Key();
    row.iccid = id.iccid;
    row.signal = id.rssi < 0 ? std::string() : std::to_string(id.rssi);
    row.firmware = id.firmware;
  }
  if (!firmware.empty()) row.firmware = firmware;
  for (const OutcomeEntry& e : kOutcomes)
    if (e.outcome == result.outcome) {
      row.outcome = e.word;
      row.exitCode = e.code;
    }
  row.message = result.detail.empty() ? result.message : result.message + ": " + result.detail;
  row.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - p.start).count();

  std::string note, error;
  if (OpenStore(note) && !store_->Append(row, error)) note = "The journal could not be written: " + error;
  if (note.empty() || noted_) return {};
  noted_ = true;
  return note;
}

}  // namespace kestrun
