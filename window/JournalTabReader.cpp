#include "window/JournalTabReader.h"

#include "journal/JournalStore.h"

namespace kestrun {

journal::ListingRequest ListingFor(const JournalTabRequest& request) {
  journal::ListingRequest listing;
  listing.target = request.target;
  listing.outboxPath = request.outbox;
  journal::JournalQuery& query = listing.query;
  query.imei = request.filter.imei;
  if (request.filter.outcome == kFailedStill)
    query.failed = query.latest = true;
  else
    query.outcome = request.filter.outcome;
  query.limit = request.limit;
  return listing;
}

JournalTabResult ReadJournalTab(const JournalTabRequest& request) {
  JournalTabResult result;
  journal::Listing& listing = result.listing;
  if (!journal::ReadListing(ListingFor(request), listing, result.error)) return result;
  result.ok = true;
  if (!listing.server.empty()) {
    result.source = "Shared journal " + listing.server + ": every station's rows";
    if (listing.waiting > 0)
      result.source += " (" + std::to_string(listing.waiting) + " rows of this station are not on it yet)";
  } else {
    result.source = "Journal " + listing.local;
  }
  if (!listing.warning.empty()) result.warning = "Warning: " + listing.warning;
  if (listing.more)
    result.more = "The newest " + std::to_string(request.limit) +
                  " rows are shown and more exist: an IMEI or an outcome narrows the list";
  return result;
}

CJournalTabReader::~CJournalTabReader() {
  {
    std::lock_guard lock(mutex_);
    next_.reset();
  }
  if (worker_.joinable()) worker_.join();
}

void CJournalTabReader::Read(const JournalTabRequest& request) {
  if (!journal::CJournalStore::IsServer(request.target)) {
    JournalTabResult result = ReadJournalTab(request);
    std::lock_guard lock(mutex_);
    // A server read still under way is overtaken: its result is dropped.
    ++generation_;
    next_.reset();
    result_ = std::move(result);
    return;
  }
  std::lock_guard lock(mutex_);
  ++generation_;
  next_ = request;
  result_.reset();
  if (running_) return;  // the worker takes it when its read ends
  running_ = true;
  // The worker before has said it ends (running_ false): joining it is quick.
  if (worker_.joinable()) worker_.join();
  worker_ = std::thread([this] { Work(); });
}

bool CJournalTabReader::Reading() const {
  std::lock_guard lock(mutex_);
  return running_;
}

std::optional<JournalTabResult> CJournalTabReader::Take() {
  std::lock_guard lock(mutex_);
  std::optional<JournalTabResult> result = std::move(result_);
  result_.reset();
  return result;
}

void CJournalTabReader::Work() {
  for (;;) {
    JournalTabRequest request;
    unsigned generation;
    {
      std::lock_guard lock(mutex_);
      if (!next_) {
        running_ = false;
        return;
      }
      request = std::move(*next_);
      next_.reset();
      generation = generation_;
    }
    JournalTabResult result = ReadJournalTab(request);
    {
      std::lock_guard lock(mutex_);
      if (generation != generation_) continue;  // a newer read was asked for: this result is stale
      result_ = std::move(result);
    }
    if (wake) wake();
  }
}

}  // namespace kestrun
