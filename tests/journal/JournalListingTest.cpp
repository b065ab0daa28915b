// Listings read the same from the local journal and the shared server (one
// set of statements in two dialects), and the notes column added later lets
// stations of the version before it share a journal file or server.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../support/PgServer.h"
#include "journal/JournalColumns.h"
#include "journal/JournalListing.h"
#include "journal/RowNotes.h"
#include "journal/ServerJournal.h"

namespace kestrun::journal {
namespace {

namespace fs = std::filesystem;

fs::path Fresh(const std::string& name) {
  const fs::path dir =
      fs::path(testing::TempDir()) / ("journal-listing-" + std::to_string(::getpid()) + "-" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

JournalRow Row(const std::string& imei, const std::string& second, const std::string& command,
               const std::string& outcome, int exitCode, const std::string& vehicle = "") {
  JournalRow r;
  r.id = NewRowId();
  r.imei = imei;
  r.time = "2026-12-01T08:00:" + second + "Z";
  r.command = command;
  r.outcome = outcome;
  r.exitCode = exitCode;
  r.rowKey = vehicle.empty() ? "" : "row-" + vehicle;
  r.notes = vehicle.empty() ? "" : NotesJson({{"#Vehicle", vehicle}, {"#Depot", "North \"2\""}});
  return r;
}

// Row i of kRows is written i-th; rows 1 and 6 share a time (the later written is the newer).
const std::vector<JournalRow> kRows = {Row("A", "01", "provision", "equal", 0, "Bus 1"),
                                       Row("C", "02", "verify", "equal", 0),
                                       Row("B", "03", "provision", "tracker-failed", 4),
                                       Row("A", "04", "verify", "tracker-failed", 4),
                                       Row("B", "05", "provision", "equal", 0, "Bus 2"),
                                       Row("", "06", "identify", "port-not-opened", 3),
                                       Row("C", "02", "diff", "different", 1)};

class JournalListingTest : public testing::Test {
 protected:
  // Each source's listing of every query; the server's part is skipped without PostgreSQL.
  void ExpectListings(const std::string& target, const std::string& outbox) {
    JournalQuery failed, stillFailing, latest, someLatest, sinceLatest, limited;
    failed.failed = stillFailing.failed = stillFailing.latest = latest.latest = someLatest.latest = true;
    someLatest.imeis = {"A", "C"};
    sinceLatest.since = "2026-12-01T08:00:03Z";
    sinceLatest.latest = true;
    limited.limit = 2;
    const struct {
      const char* name;
      JournalQuery query;
      bool devices;
      std::vector<std::size_t> rows;  // indices into kRows, in listing order
      bool more;
    } cases[] = {
        {"all", {}, false, {5, 4, 3, 2, 6, 1, 0}, false},
        {"failed", failed, false, {5, 3, 2}, false},
        {"still failing", stillFailing, false, {3}, false},
        {"latest", latest, false, {4, 3, 6}, false},
        {"latest of A,C", someLatest, false, {3, 6}, false},
        {"since", sinceLatest, false, {4, 3}, false},
        {"limit", limited, false, {5, 4}, true},
        {"devices", {}, true, {3, 4, 6}, false},
        {"failed devices", failed, true, {3}, false},
        {"devices limit", limited, true, {3, 4}, true},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      Listing listing;
      std::string error;
      ASSERT_TRUE(ReadListing({target, outbox, c.query, c.devices, false}, listing, error)) << error;
      EXPECT_EQ(listing.warning, "");
      EXPECT_EQ(listing.more, c.more);
      std::vector<std::string> ids, want;
      for (const JournalRow& r : listing.rows) ids.push_back(r.id);
      for (const DeviceLine& d : listing.devices) ids.push_back(d.imei + d.time);
      for (std::size_t i : c.rows) want.push_back(c.devices ? kRows[i].imei + kRows[i].time : kRows[i].id);
      EXPECT_EQ(ids, want);
      for (const JournalRow& r : listing.rows)
        if (r.id == kRows[0].id) {
          EXPECT_EQ(NoteCell(r.notes, "#Depot"), "North \"2\"");
        }
      if (c.devices && listing.devices.size() == 3) {  // A was verified at 01, B at 05, C at 02
        EXPECT_EQ(listing.devices[0].lastVerified, kRows[0].time);
        EXPECT_EQ(listing.devices[1].lastVerified, kRows[4].time);
        EXPECT_EQ(listing.devices[2].lastVerified, kRows[1].time);
        EXPECT_EQ(NoteCell(listing.devices[1].notes, "#Vehicle"), "Bus 2");
        EXPECT_EQ(listing.devices[1].rowKey, "row-Bus 2");
      }
    }
  }
  test::CPgServer server_;
};

TEST_F(JournalListingTest, TheLocalJournalAndTheServerListAlike) {
  const fs::path dir = Fresh("alike");
  const std::string file = (dir / "journal.sqlite").string();
  {
    CJournal journal;
    std::string error;
    ASSERT_TRUE(journal.Open(file, error)) << error;
    for (JournalRow row : kRows) ASSERT_TRUE(journal.Append(row, error)) << error;
  }
  ExpectListings(file, "");
  if (!server_.Missing().empty()) GTEST_SKIP() << server_.Missing();
  std::string error;
  ASSERT_TRUE(server_.Start(error)) << error;
  CServerJournal server;
  ASSERT_TRUE(server.Connect(server_.Url(), error)) << error;
  for (const JournalRow& row : kRows)
    ASSERT_TRUE(server.Insert({row}, error)) << error;  // one by one: in order
  ExpectListings(server_.Url(), (dir / "outbox.sqlite").string());
}

// Runs a statement as a program of the version before the notes column would:
// naming its own columns only.
bool Statement(bool server, const std::string& target, const std::string& sql,
               std::vector<std::string>* column) {
  if (server) {
    PGconn* conn = PQconnectdb(target.c_str());
    PGresult* result = PQexec(conn, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    for (int i = 0; column && status == PGRES_TUPLES_OK && i < PQntuples(result); ++i)
      column->push_back(PQgetisnull(result, i, 0) ? "NULL" : PQgetvalue(result, i, 0));
    PQclear(result);
    PQfinish(conn);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  }
  sqlite3* db = nullptr;
  sqlite3_open(target.c_str(), &db);
  sqlite3_stmt* s = nullptr;
  bool ok = sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK;
  int step = SQLITE_DONE;
  while (ok && (step = sqlite3_step(s)) == SQLITE_ROW)
    if (column)
      column->push_back(s && sqlite3_column_type(s, 0) == SQLITE_NULL
                            ? "NULL"
                            : reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
  sqlite3_finalize(s);
  sqlite3_close(db);
  return ok && step == SQLITE_DONE;
}

// A journal made before the notes column (the file, and the server's table)
// gains it when this version opens it, keeps its schema number (so the older
// version still opens it), and takes the older version's rows afterwards.
TEST_F(JournalListingTest, OlderAndNewerStationsShareAJournal) {
  const fs::path dir = Fresh("share");
  for (const bool server : {false, true}) {
    SCOPED_TRACE(server ? "server" : "file");
    if (server && !server_.Missing().empty()) GTEST_SKIP() << server_.Missing();
    std::string error;
    if (server) {
      ASSERT_TRUE(server_.Start(error)) << error;
    }
    const std::string target = server ? server_.Url() : (dir / "journal.sqlite").string();
    const std::string table = server ? "rv450_journal" : "journal";
    const std::string version = server ? "SELECT version FROM rv450_schema" : "PRAGMA user_version";
    std::string oldColumns;
    for (const JournalColumnDef& c : kJournalColumns)
      if (!c.nullable && (c.serverType || !server))
        oldColumns += (oldColumns.empty() ? "\"" : ",\"") + std::string(c.sql) + "\"";
    auto open = [&](JournalRow* row) {
      std::vector<JournalRow> rows;
      error.clear();
      CServerJournal shared;
      CJournal local;
      if (server && shared.Connect(target, error))
        return (!row || shared.Insert({*row}, error)) && shared.Rows({}, rows, error)
                   ? rows
                   : std::vector<JournalRow>();
      if (!server && local.Open(target, error))
        return (!row || local.Append(*row, error)) && local.Rows({}, rows, error) ? rows
                                                                                  : std::vector<JournalRow>();
      return rows;
    };
    // The older version's layout: this version's tables without the nullable columns.
    open(nullptr);
    ASSERT_TRUE(Statement(server, target, "ALTER TABLE " + table + " DROP COLUMN notes", nullptr));
    std::vector<std::string> before, after, notes;
    ASSERT_TRUE(Statement(server, target, version, &before));
    JournalRow newer = kRows[0];
    ASSERT_EQ(open(&newer).size(), 1u) << error;
    ASSERT_TRUE(Statement(server, target, version, &after));
    EXPECT_EQ(after, before);
    // The older version writes naming its own columns; its row's notes are NULL.
    std::string values;
    for (const JournalColumnDef& c : kJournalColumns)
      if (!c.nullable && (c.serverType || !server))
        values += std::string(values.empty() ? "" : ",") +
                  (std::holds_alternative<std::string JournalRow::*>(c.member)
                       ? "'" + kRows[1].*std::get<std::string JournalRow::*>(c.member) + "'"
                       : "0");
    ASSERT_TRUE(Statement(server, target,
                          "INSERT INTO " + table + " (" + oldColumns + ") VALUES (" + values + ")", nullptr));
    const std::vector<JournalRow> rows = open(nullptr);
    ASSERT_EQ(rows.size(), 2u) << error;
    EXPECT_EQ(rows[1].notes, newer.notes);
    EXPECT_EQ(rows[0].id, kRows[1].id);
    EXPECT_EQ(rows[0].notes, "");
    ASSERT_TRUE(Statement(server, target, "SELECT notes FROM " + table + " ORDER BY time", &notes));
    EXPECT_EQ(notes, (std::vector<std::string>{newer.notes, "NULL"}));
  }
}

}  // namespace
}  // namespace kestrun::journal
