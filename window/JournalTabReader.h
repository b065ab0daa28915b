// What the Provisioning window's Journal tab lists, without its widgets: the
// filter made into the listing rv450-cli journal reads (journal/
// JournalListing: the shared server when one is set and answers, else this
// station's own rows with a warning), and where the rows came from in words.
// A shared server is read on a worker thread, since it may take its connect
// timeout to answer; a journal file is read at once. Plain C++.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "journal/JournalListing.h"
#include "window/LatestWork.h"

namespace kestrun {

// The outcome filter's choice that keeps the trackers whose latest row failed
// (rv450-cli journal --outcome failed --latest).
inline constexpr const char* kFailedStill = "failed (still)";

struct JournalTabFilter {
  std::string imei;     // empty: every tracker
  std::string outcome;  // empty: any; an outcome word; or kFailedStill
};

struct JournalTabRequest {
  std::string target;  // a journal file or a shared server (CWindowJournal::TargetFor)
  std::string outbox;  // this station's local journal, read with a server
  JournalTabFilter filter;
  int limit = 0;  // at most that many rows (0: all)
};

struct JournalTabResult {
  bool ok = false;
  std::string error;  // !ok: why no rows could be read
  journal::Listing listing;
  std::string source;   // where the rows are from: "Shared journal ...: every station's rows", "Journal FILE"
  std::string warning;  // the shared journal is set but was not read: this station's rows only
  std::string more;     // more rows exist than are listed
};

// The listing `request` asks for.
journal::ListingRequest ListingFor(const JournalTabRequest& request);
// Reads `request` here and now, and says where the rows came from.
JournalTabResult ReadJournalTab(const JournalTabRequest& request);

class CJournalTabReader {
 public:
  CJournalTabReader();
  CJournalTabReader(const CJournalTabReader&) = delete;
  CJournalTabReader& operator=(const CJournalTabReader&) = delete;

  // Runs on the worker thread when a server's result waits for Take (the
  // window posts Take to its own thread). Set before the first Read.
  std::function<void()> wake;

  // Reads `request`: a journal file at once (its result waits for Take when
  // this returns), a shared server on the worker thread (`wake` says when).
  // A read asked for while another runs replaces the result of that one.
  void Read(const JournalTabRequest& request);
  // True while a server read is under way.
  bool Reading() const { return work_.Busy(); }
  // The newest result, once; nothing while it is not there yet.
  std::optional<JournalTabResult> Take() { return work_.Take(); }

 private:
  // Destroyed first: a server read under way ends (within its timeout) before `wake` goes.
  CLatestWork<JournalTabRequest, JournalTabResult> work_{ReadJournalTab};
};

}  // namespace kestrun
