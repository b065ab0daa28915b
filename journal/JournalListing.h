// What a listing of the journal reads: with a shared journal set, the
// server's rows of every station when it answers, else this station's own
// rows (the local journal, which is the outbox) with the reason; without one,
// the journal file. Used by rv450-cli journal (and meant for the window's
// Journal tab), reading only: nothing is sent or claimed.
#pragma once

#include <string>
#include <vector>

#include "journal/Journal.h"

namespace kestrun::journal {

struct ListingRequest {
  std::string target;      // a journal file, or a shared server (CJournalStore::IsServer)
  std::string outboxPath;  // the station's local journal used with a server
  JournalQuery query;      // query.limit: at most that many (0: all)
  bool devices = false;    // one line per tracker instead of rows
  bool localOnly = false;  // with a server: this station's rows, without asking the server
};

struct Listing {
  std::vector<JournalRow> rows;
  std::vector<DeviceLine> devices;
  std::string server;   // the server read, its password masked; empty: a local journal was read
  std::string local;    // the local journal read (the file, or the outbox)
  std::string warning;  // why the shared server was not read although it is set
  bool more = false;    // more rows (or devices) than the limit exist
  int waiting = -1;     // read from the server: this station's rows it lacks yet (-1: unknown)
  bool readFailed = false;  // on failure: the journal opened, but reading its rows failed
};

// False with `error` when the local journal cannot be read (a refused
// target, a file that cannot be opened, or rows that cannot be read:
// `readFailed`); a server that does not answer is only a warning.
bool ReadListing(const ListingRequest& request, Listing& listing, std::string& error);

}  // namespace kestrun::journal
