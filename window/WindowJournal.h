// The window's journal: one row for each Read All and Send All that ran,
// appended where the operation finishes (one small local transaction on the
// window thread). A row names the tracker by the IMEI of the last Identify
// on that port in this session, else by the firmware text and the port. A
// journal that cannot be opened or written never stops an operation: the
// first such failure is handed back to be said once. Plain C++, owned by the
// window controller.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "engine/EngineEvents.h"
#include "journal/JournalStore.h"
#include "protocol/FormValues.h"
#include "protocol/Groups.h"
#include "protocol/Identity.h"

namespace kestrun {

class CWindowJournal {
 public:
  // RV450_JOURNAL when set, else `configured` (Journal= in [Main] of
  // MainSetting.ini) when set, else the default SQLite file.
  static std::string TargetFor(const std::string& configured);

  // The Journal= setting as Main Setting last said; a new target is opened
  // at the next row, and may be said again when it fails.
  void Configure(const std::string& configured);
  // An Identify answered on COM `port`.
  void IdentityRead(int port, const TrackerIdentity& identity);
  // A Read All ("read", nothing sent) or Send All ("write", the groups `sent`
  // with `values`) has started.
  void Begin(const char* command, const GroupSelection& sent, const CFormValues& values);
  // The operation begun last has ended on COM `port` (the device `device`): its row. Returns what
  // to say about the journal, once in the session: empty otherwise, and when
  // no Read All or Send All was begun.
  std::string Finish(const OperationResult& result, int port, const std::string& device,
                     const std::string& firmware);

 private:
  struct Pending {
    journal::JournalRow row;
    std::chrono::steady_clock::time_point start;
  };
  // Opens the target when it is not open yet; false with `note` set when it cannot be.
  bool OpenStore(std::string& note);

  std::string target_;
  std::string opened_;  // the target the store was opened on; empty: none
  bool openFailed_ = false;
  bool noted_ = false;  // a failure has been said
  std::unique_ptr<journal::CJournalStore> store_;
  std::map<int, TrackerIdentity> identities_;  // by COM number, this session
  std::optional<Pending> pending_;
};

}  // namespace kestrun
