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

CJournalTabReader::CJournalTabReader() {
  work_.wake = [this] {
    if (wake) wake();
  };
}

void CJournalTabReader::Read(const JournalTabRequest& request) {
  // A file is read at once; a server read still under way is overtaken.
  if (!journal::CJournalStore::IsServer(request.target))
    work_.Put(ReadJournalTab(request));
  else
    work_.Ask(request);
}

}  // namespace kestrun
