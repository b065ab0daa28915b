// The provisioning journal: one row per tracker and command, kept in a local
// SQLite database. Each row is committed on its own (WAL, synchronous=FULL)
// before the command goes on, with an id made here, so that a later step can
// copy the rows not yet sent to a shared server without ever duplicating one.
#pragma once

#include <string>
#include <vector>

struct sqlite3;

namespace kestrun::journal {

// The version of the table layout, kept in PRAGMA user_version.
// It counts only changes a program of an older version cannot work with: a
// nullable column (JournalColumnDef::nullable) is added in place by the first
// newer program that opens the file, and older ones never name it.
constexpr int kJournalSchema = 3;  // 2: the claims of dealt table rows; 3: an index of the unsent rows

struct JournalRow {
  std::string id;    // made by Append when empty: a random UUID
  std::string time;  // UTC, "2026-12-01T08:00:00Z"; Append's clock when empty
  std::string station;
  std::string user;
  std::string program;
  std::string version;
  std::string port;    // "COM5", or empty for a device without a number
  std::string device;  // the device path
  std::string imei;    // the tracker's identity; empty while unknown
  std::string iccid;
  std::string firmware;
  std::string signal;
  std::string command;
  std::string templateFile;  // the config file given
  std::string settingsHash;  // SettingsHash of the keys sent; empty when nothing was sent
  std::string rowKey;        // the per-tracker table's key of this tracker, or empty
  std::string groups;        // the groups sent, "RVSRI,RVBEI"
  std::string outcome;
  int exitCode = 0;
  std::string message;
  double seconds = 0;
  bool sent = false;  // copied to the shared server
  // The notes cells of the table line the tracker was dealt, as RowNotes.h
  // writes them ({"#Vehicle":"Bus 12"}); empty: none (NULL in both databases).
  std::string notes;
};

struct JournalQuery {
  std::string imei;     // empty: every tracker
  std::string since;    // UTC as ParseSince gives it; empty: from the start
  std::string outcome;  // empty: every outcome
  int limit = 0;        // 0: no limit
  bool failed = false;  // only failed trackers: status 3 and up, or differences after a write
  // Only rows with a settings hash (written, or skipped as done, by provision).
  bool withHash = false;
  // Each tracker's newest row only (rows without an IMEI left out); `outcome`
  // and `failed` then look at that row, so failed trackers are those still failing.
  bool latest = false;
  std::vector<std::string> imeis = {};  // any of these trackers (besides `imei`); empty: every tracker
};

struct ListingSql;

// A dealt table row as the local journal holds it (CJournal::Claim).
struct ClaimLine {
  std::string tableName, rowId, imei, time;
};

// One tracker as the journal last saw it.
struct DeviceLine {
  std::string imei, iccid, firmware, time, outcome, settingsHash, station, port;
  std::string rowKey, notes;  // of that newest row
  // The time of its newest verify or provision whose read-back was equal; empty: never.
  std::string lastVerified;
};

class CJournal {
 public:
  CJournal() = default;
  ~CJournal();
  CJournal(const CJournal&) = delete;
  CJournal& operator=(const CJournal&) = delete;

  // $XDG_DATA_HOME/rv450-kestrun/journal.sqlite, else ~/.local/share/...;
  // empty when neither is known.
  static std::string DefaultPath();

  // Opens or creates the database (its folder 0700 when made, the file 0600)
  // and the table. False with `error` set when it cannot be used.
  bool Open(const std::string& path, std::string& error);
  // Runs SQLite's quick_check over the whole file: false with `error` naming
  // the file, the first damage found and the advice to move the file aside.
  // Commands that touch ports call it once before the first port, so that a
  // damaged journal stops them before any tracker is written (a damaged page
  // is otherwise found only when a row is committed, after the tracker).
  bool CheckIntegrity(std::string& error) const;
  // One transaction; fills an empty id and time.
  bool Append(JournalRow& row, std::string& error);
  // Newest first.
  bool Rows(const JournalQuery& query, std::vector<JournalRow>& rows, std::string& error) const;
  // One line per IMEI (rows without one are left out), from its newest row,
  // in the order of the IMEIs; `query` narrows them as for Rows with `latest`.
  bool Devices(std::vector<DeviceLine>& devices, std::string& error) const {
    return Devices({}, devices, error);
  }
  bool Devices(const JournalQuery& query, std::vector<DeviceLine>& devices, std::string& error) const;
  // Deals a row of the table `tableName` (its file's name) to the tracker
  // `imei`: the row it was given before when that is still among `rowIds`,
  // else the first of `rowIds` nobody holds, claimed for it now. `index` is
  // the row's place in `rowIds`, -1 when every row is held by others.
  // The row of `rowIds` the tracker `imei` was dealt before (its place), -1
  // when none; reads only (a dry run's look).
  bool HeldRow(const std::string& tableName, const std::vector<std::string>& rowIds, const std::string& imei,
               int& index, std::string& error) const;
  bool Claim(const std::string& tableName, const std::vector<std::string>& rowIds, const std::string& imei,
             int& index, std::string& error);
  // Notes a claim made elsewhere (on the shared server, which decides): the
  // row `rowId` of `tableName` is held by `imei` from now on.
  bool RecordClaim(const std::string& tableName, const std::string& rowId, const std::string& imei,
                   std::string& error);
  // Claims made here that the shared server has not confirmed: those of
  // Claim (no server) and of a version before claims were sent. Oldest first.
  bool UnsentClaims(std::vector<ClaimLine>& claims, std::string& error) const;
  // Notes that the server holds these claims for the same IMEI.
  bool MarkClaimsSent(const std::vector<ClaimLine>& claims, std::string& error);

  // The rows not yet copied to the shared server, oldest first, at most `limit`.
  bool UnsentRows(int limit, std::vector<JournalRow>& rows, std::string& error) const;
  // Marks rows as copied. A mark lost to a power cut only makes the next
  // push send the row again, which the server ignores; so the mark is
  // committed without waiting for the disk.
  bool MarkSent(const std::vector<std::string>& ids, std::string& error);
  // How many rows wait for the shared server.
  bool CountUnsent(int& count, std::string& error) const;

 private:
  bool Select(const ListingSql& sql, std::vector<JournalRow>& rows, std::string& error) const;

  sqlite3* db_ = nullptr;
};

// SHA-256 of the sorted "SECTION/Key=value" lines: the same settings give the
// same hash whatever their order. The stamp and the password are no config
// keys, so they never reach it.
std::string SettingsHash(std::vector<std::string> lines);

// How a dealt row is known: its table's file name and the row's cells, and
// for the second and later of identical rows their occurrence (2, 3, ...).
// The first occurrence's id is the one stored before occurrences counted.
std::string RowClaimId(const std::string& tableName, const std::string& cellsText, int occurrence = 1);
// The ids of a table's rows, given as their cells' texts in the table's order.
std::vector<std::string> RowClaimIds(const std::string& tableName,
                                     const std::vector<std::string>& cellsTexts);

// "2026-12-01" or "2026-12-01T08:00" (UTC) into "2026-12-01T08:00:00Z"; false when it is neither.
bool ParseSince(const std::string& text, std::string& utc);

// The current time in the journal's form.
std::string UtcNow();

// A random UUID (version 4) from /dev/urandom.
std::string NewRowId();

}  // namespace kestrun::journal
