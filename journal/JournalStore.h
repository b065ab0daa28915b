// Where a program's journal rows go: always the local SQLite journal first
// (committed before anything else happens), and, when the target names a
// PostgreSQL server, on to that shared server as well. The local journal is
// then the outbox: a row the server has not taken stays marked unsent there
// and goes with the next row, the next run or 'rv450-cli journal push'. Safe
// to use from the threads of several port jobs at once: every call takes the
// store's lock.
//
// Claims of table rows (--assign) are made where the journal is: in the local
// journal without a server; on the server when there is one, which alone
// decides, with a copy noted in the local journal's claims so that a later
// local look sees the same holder.
//
// Claims made while a station had no server (or by a version that did not
// send them) wait in the local journal, as its rows do, and are sent before
// a row is dealt on the server (and when Open or Push reach it): each goes in
// under the server's key on (table, row) and the table's lock, so a row free
// on the server becomes the claim's, and a row the server holds for the same
// IMEI is the same claim. A row the server holds for another IMEI stays that
// IMEI's, is dealt to nobody again, and the local claim stays unsent: a
// conflict, which stops either tracker (claim-failed) at this station rather
// than deal it a second row, until one of the two claims is removed.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "journal/Journal.h"

namespace kestrun::journal {

class CServerJournal;

class CJournalStore {
 public:
  // The shortest wait before a server that was away is tried again by Append.
  static constexpr std::chrono::milliseconds kRetryDelay{5000};

  CJournalStore();
  ~CJournalStore();

  // True when `target` names a shared server (see ClassifyTarget).
  static bool IsServer(const std::string& target);
  // Why `target` is neither a file nor a server (its secrets masked); empty when it is one.
  static std::string RefusalOf(const std::string& target);

  // `target`: a SQLite file, or a server; `outboxPath`: the local journal used
  // with a server (normally CJournal::DefaultPath()). False when the local
  // journal cannot be used. A server that cannot be reached is no failure:
  // warning() says so and the rows wait in the local journal. With the server
  // reached, rows that waited from earlier runs are sent now.
  bool Open(const std::string& target, const std::string& outboxPath, std::string& error);
  // CJournal::CheckIntegrity of the local journal (the outbox with a server).
  bool CheckIntegrity(std::string& error);
  // Why the shared server is not used right now; empty when it is (or when there is none).
  std::string warning() const;
  // The warning once: the first call after the server went away returns it,
  // later calls return "" until the server was back and went away again.
  std::string TakeWarning();
  bool Shared() const;
  // True when there is no server, or the server is connected. A caller that
  // needs the server (claims for --assign) checks Shared() && !ServerReachable().
  bool ServerReachable() const;
  // The server's URL with its password masked; empty without a server.
  std::string ServerName() const;

  // Commits the row locally, then sends it (and any earlier rows that wait)
  // to the server; `row.sent` tells whether the server took it. False only
  // when the local commit failed. A server that is away is tried again at an
  // Append at least the retry delay later, so a batch never waits on it row by row.
  bool Append(JournalRow& row, std::string& error);
  // The rows of several trackers that ended together: each committed locally
  // on its own, then all sent to the server in one transaction (one wait for
  // the server's disk instead of one per row). `errors[i]` is row i's local
  // failure, empty when it was committed; false when any failed.
  bool AppendAll(std::vector<JournalRow>& rows, std::vector<std::string>& errors);
  // Deals a table row for --assign (CJournal::Claim); with a server the claim
  // is made there (reconnecting first when needed), so two stations never get
  // the same row; a server that cannot be reached fails the claim.
  // The row the tracker was dealt before, as the local journal knows it.
  bool HeldRow(const std::string& tableName, const std::vector<std::string>& rowIds, const std::string& imei,
               int& index, std::string& error);
  bool Claim(const std::string& tableName, const std::vector<std::string>& rowIds, const std::string& imei,
             int& index, std::string& error);
  // The newest row of the tracker `imei` in the local journal (with `withHash`, the newest
  // that holds a settings hash); `found` false when there is none.
  bool LastRow(const std::string& imei, JournalRow& row, bool& found, std::string& error,
               bool withHash = false);

  // Sends every row that waits, now. `sent`: rows the server took since Open
  // (which sends what waits when it reaches the server) or the last Push; `waiting`:
  // rows still only local. False with `error` when there is no server, it
  // cannot be reached or it refused the rows.
  bool Push(int& sent, int& waiting, std::string& error);
  // Tests shorten the retry delay.
  void SetRetryDelay(std::chrono::milliseconds delay);

  // The local journal (queries); hold no other call of the store meanwhile.
  CJournal& local() { return local_; }

 private:
  bool Connect(std::string& why);
  bool SendWaiting(int& sent, std::string& why);
  void Away(const std::string& why);
  struct Conflict {
    ClaimLine local;
    std::string serverImei;
  };
  // Sends the local claims that wait; `conflicts`: those the server holds for another IMEI.
  bool SendClaims(std::vector<Conflict>& conflicts, std::string& why);
  // Sends what waits unless the server is away and its retry time has not come.
  bool SendIfDue();

  mutable std::mutex lock_;
  CJournal local_;
  std::unique_ptr<CServerJournal> server_;
  std::string target_, outboxPath_;
  std::string warning_;
  bool warningTaken_ = false;
  std::chrono::milliseconds retryDelay_ = kRetryDelay;
  std::chrono::steady_clock::time_point nextTry_{};
  int sentAtOpen_ = 0;  // rows Open sent, counted by the next Push
};

}  // namespace kestrun::journal
