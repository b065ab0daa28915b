#include "journal/JournalListing.h"

#include "journal/JournalStore.h"
#include "journal/ServerJournal.h"

namespace kestrun::journal {

namespace {

// Reads one more than the limit, so that the listing knows whether more exist.
template <typename Source>
bool Read(Source& source, const ListingRequest& request, Listing& listing, std::string& error) {
  JournalQuery query = request.query;
  const int limit = query.limit;
  if (limit > 0) query.limit = limit + 1;
  bool ok;
  std::size_t count;
  if (request.devices) {
    ok = source.Devices(query, listing.devices, error);
    count = listing.devices.size();
    if (ok && limit > 0 && count > static_cast<std::size_t>(limit))
      listing.devices.resize(static_cast<std::size_t>(limit));
  } else {
    ok = source.Rows(query, listing.rows, error);
    count = listing.rows.size();
    if (ok && limit > 0 && count > static_cast<std::size_t>(limit))
      listing.rows.resize(static_cast<std::size_t>(limit));
  }
  listing.more = ok && limit > 0 && count > static_cast<std::size_t>(limit);
  return ok;
}

}  // namespace

bool ReadListing(const ListingRequest& request, Listing& listing, std::string& error) {
  listing = Listing();
  // A server string in a build without the shared journal lists the outbox, with the reason as a warning.
  const bool shared = CJournalStore::IsServer(request.target);
  if (!shared && !(error = CJournalStore::RefusalOf(request.target)).empty()) return false;
  listing.local = shared ? request.outboxPath : request.target;
  CJournal local;
  if (!local.Open(listing.local, error)) return false;
  if (shared && !request.localOnly) {
    CServerJournal server;
    std::string why;
    if (server.Connect(request.target, why) && Read(server, request, listing, why)) {
      listing.server = MaskedUrl(request.target);
      std::string ignored;
      if (!local.CountUnsent(listing.waiting, ignored)) listing.waiting = -1;
      return true;
    }
    listing.rows.clear();
    listing.devices.clear();
    listing.warning = "the shared journal " + MaskedUrl(request.target) + " cannot be read (" + why +
                      "); listing this station's rows only, from " + listing.local;
  }
  if (Read(local, request, listing, error)) return true;
  error = listing.local + ": " + error;
  listing.readFailed = true;
  return false;
}

}  // namespace kestrun::journal
