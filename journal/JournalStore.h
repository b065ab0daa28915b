// Where a program's journal rows go: always the local SQLite journal first
// (committed before anything else happens), and, when the target names a
// PostgreSQL server, on to that shared server as well. Safe to use from the
// threads of several port jobs at once: every call takes the store's lock.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "journal/Journal.h"

namespace kestrun::journal {

class CJournalStore {
 public:
  // True when `target` names a shared server ("postgresql://..." or "postgres://...").
  static bool IsServer(const std::string& target);

  // `target`: a SQLite file, or a server; `outboxPath`: the local journal used
  // with a server (normally CJournal::DefaultPath()). False when the local
  // journal cannot be used. A server that cannot be reached is no failure:
  // warning() says so once and the rows wait in the local journal.
  bool Open(const std::string& target, const std::string& outboxPath, std::string& error);
  // Why the shared server is not used right now; empty when it is (or when there is none).
  std::string warning() const;
  bool Shared() const;
  // True when there is no server, or the server answered.
  bool ServerReachable() const;

  // Commits the row locally, then sends it (and any earlier rows that wait)
  // to the server. False only when the local commit failed.
  bool Append(JournalRow& row, std::string& error);
  // Deals a table row for --assign (CJournal::Claim); with a server the claim
  // is made there, so two stations never get the same row.
  bool Claim(const std::string& tableName, const std::vector<std::string>& rowIds, const std::string& imei,
             int& index, std::string& error);
  // The newest row of the tracker `imei`; `found` false when there is none.
  bool LastRow(const std::string& imei, JournalRow& row, bool& found, std::string& error);

  // The local journal (queries, push); hold no other call of the store meanwhile.
  CJournal& local() { return local_; }

 private:
  mutable std::mutex lock_;
  CJournal local_;
  std::string server_;
  std::string warning_;
};

}  // namespace kestrun::journal
