// The shared journal on a PostgreSQL server: the rows of several stations in
// one table, and the claims of dealt table rows that keep two stations from
// giving one row to two trackers. The tables are made on first use, their
// layout's version kept in rv450_schema. A row's id is the table's primary
// key and a row the server already has is skipped, so sending a row again
// (after an acknowledgement was lost) never makes a second copy.
#pragma once

#include <string>
#include <vector>

#include "journal/Journal.h"

struct pg_conn;

namespace kestrun::journal {

// The version of the server's tables, kept in rv450_schema. As with the local
// journal, a nullable column added later does not raise it: the first newer
// station adds the column (ALTER TABLE) and older ones never name it.
constexpr int kServerSchema = 1;

// Seconds a connection attempt may take before the server counts as away.
constexpr int kConnectSeconds = 2;

// `url` with its password (in the user part or a password= parameter) shown as "***".
std::string MaskedUrl(const std::string& url);

struct JournalColumnDef;

class CServerJournal {
 public:
  CServerJournal() = default;
  ~CServerJournal();
  CServerJournal(const CServerJournal&) = delete;
  CServerJournal& operator=(const CServerJournal&) = delete;

  // Connects to `url` (a postgresql:// URL) and makes or checks the tables.
  // False with `error` set (the password never in it) when that fails.
  bool Connect(const std::string& url, std::string& error);
  void Close();
  bool Connected() const;

  // Adds the rows in one transaction; rows whose id the server has are skipped.
  bool Insert(const std::vector<JournalRow>& rows, std::string& error);
  // CJournal::Claim on the server: the tracker's earlier row when it is still
  // among `rowIds`, else the first row nobody holds. Stations dealing from one
  // table take turns (a lock per table), and the claims table's key on
  // (table_name, row_id) keeps a row with one tracker.
  bool Claim(const std::string& tableName, const std::vector<std::string>& rowIds, const std::string& imei,
             int& index, std::string& error);
  // Sends claims a station made without the server, under the same key and
  // the same lock per table: a row nobody holds on the server becomes the
  // claim's; a row the server holds stays with its holder. `holders[i]` is
  // the IMEI the server holds claims[i]'s row for afterwards: the claim's own
  // IMEI, or another one (a conflict, which the caller settles).
  bool SendClaims(const std::vector<ClaimLine>& claims, std::vector<std::string>& holders,
                  std::string& error);
  // CJournal::Rows and CJournal::Devices over every station's rows.
  bool Rows(const JournalQuery& query, std::vector<JournalRow>& rows, std::string& error);
  bool Devices(const JournalQuery& query, std::vector<DeviceLine>& devices, std::string& error);

 private:
  // `column`: the result's fields, row by row.
  bool Exec(const std::string& sql, const std::vector<std::string>& values, std::string& error,
            std::vector<std::string>* column = nullptr);
  bool Failed(std::string& error);
  // Ends a claim's transaction; `index` becomes -1 when the commit fails.
  bool Commit(int& index, std::string& error);
  // Adds the nullable columns the server's table lacks; a column this
  // account may not add is left out of what this station sends and reads.
  void AddNullableColumns();
  std::string Columns() const;
  bool Select(const std::string& sql, const std::vector<std::string>& values, std::vector<JournalRow>& rows,
              std::string& error);

  pg_conn* conn_ = nullptr;
  std::string password_;                          // kept out of every message
  std::vector<const JournalColumnDef*> columns_;  // the server table's columns, in the table's order
};

}  // namespace kestrun::journal
