// A row's notes cells, listings that read the same from the local journal and
// the shared server, and the notes column added later letting stations of the
// version before it share a journal file or server.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>

#include "../support/PgServer.h"
#include "journal/JournalColumns.h"
#include "journal/JournalListing.h"
#include "journal/RowNotes.h"
#include "journal/ServerJournal.h"

namespace kestrun::journal {
namespace {

namespace fs = std::filesystem;

TEST(JournalNotesTest, CellsRoundTripAndForeignJsonReads) {
  const NoteCells cells[] = {{},
                             {{"#Vehicle", "say \"hi\" \\ o/"}, {"#Depot", ""}, {"#N", "tab\there\nend\x01"}},
                             {{"#Fahrzeug", "Müll ☃ 🚚"}, {"#{,:}", "[\"x\"]"}}};
  for (const NoteCells& written : cells) {
    NoteCells read;
    ASSERT_TRUE(ReadNotes(NotesJson(written), read)) << NotesJson(written);
    EXPECT_EQ(read, written);
    for (const auto& [header, text] : written) EXPECT_EQ(NoteCell(NotesJson(written), header), text);
  }
  const std::pair<std::string, std::string> foreign[] = {
      // a text and its #Vehicle; "?" when refused
      {" { \"#Vehicle\" : \"B\\u0020\\u00fc\\ud83d\\ude9a\\/\" } ", "B \xc3\xbc\xf0\x9f\x9a\x9a/"},
      {"{}", ""},
      {"{\"#Vehicle\":\"a\"", "?"},
      {"{\"#Vehicle\":1}", "?"},
      {"{\"#Vehicle\":\"a\"} x", "?"},
      {"{\"#Vehicle\":\"\\q\"}", "?"}};
  for (const auto& [json, vehicle] : foreign) {
    NoteCells read;
    EXPECT_EQ(ReadNotes(json, read), vehicle != "?") << json;
    EXPECT_EQ(NoteCell(json, "#Vehicle"), vehicle == "?" ? "" : vehicle) << json;
  }
}

JournalRow Row(const std::string& imei, const std::string& second, const std::string& outcome, int exitCode,
               const std::string& vehicle = "") {
  JournalRow r;
  r.id = NewRowId();
  r.imei = imei;
  r.time = "2026-12-01T08:00:" + second + "Z";
  r.command = exitCode == 1 ? "diff" : "verify";
  r.outcome = outcome;
  r.exitCode = exitCode;
  r.rowKey = vehicle;
  r.notes = vehicle.empty() ? "" : NotesJson({{"#Vehicle", vehicle}});
  return r;
}

// Written in this order; rows 1 and 6 share a time (the later written is the newer).
const std::vector<JournalRow> kRows = {
    Row("A", "01", "equal", 0, "Bus 1"), Row("C", "02", "equal", 0),
    Row("B", "03", "tracker-failed", 4), Row("A", "04", "tracker-failed", 4),
    Row("B", "05", "equal", 0, "Bus 2"), Row("", "06", "port-not-opened", 3),
    Row("C", "02", "different", 1)};

class JournalListingTest : public testing::Test {
 protected:
  void ExpectListings(const std::string& target, const std::string& outbox) {
    JournalQuery failed, stillFailing, latest, since, limited;
    failed.failed = stillFailing.failed = stillFailing.latest = latest.latest = since.latest = true;
    latest.imeis = {"A", "C"};
    since.since = "2026-12-01T08:00:03Z";
    limited.limit = 2;
    const struct {
      JournalQuery query;
      bool devices, more;
      std::vector<std::size_t> rows;  // indices into kRows, in listing order
    } cases[] = {{{}, false, false, {5, 4, 3, 2, 6, 1, 0}},
                 {failed, false, false, {5, 3, 2}},
                 {stillFailing, false, false, {3}},
                 {latest, false, false, {3, 6}},
                 {since, false, false, {4, 3}},
                 {limited, false, true, {5, 4}},
                 {{}, true, false, {3, 4, 6}},
                 {failed, true, false, {3}}};
    for (const auto& c : cases) {
      Listing got;
      std::string error;
      ASSERT_TRUE(ReadListing({target, outbox, c.query, c.devices, false}, got, error)) << error;
      std::vector<std::string> ids, want;
      for (const JournalRow& r : got.rows) ids.push_back(r.id + r.notes);
      for (const DeviceLine& d : got.devices)
        ids.push_back(d.imei + d.time + d.rowKey + d.notes + d.lastVerified);
      for (std::size_t i : c.rows) {
        const JournalRow& r = kRows[i];
        // Devices: A and B verified at their first equal row, C at 02.
        const std::string verified = r.imei == "A"   ? kRows[0].time
                                     : r.imei == "B" ? kRows[4].time
                                                     : kRows[1].time;
        want.push_back(c.devices ? r.imei + r.time + r.rowKey + r.notes + verified : r.id + r.notes);
      }
      EXPECT_EQ(ids, want) << &c - cases;
      EXPECT_EQ(got.more, c.more) << &c - cases;
    }
  }
  test::CPgServer server_;
};

TEST_F(JournalListingTest, TheLocalJournalAndTheServerListAlike) {
  const fs::path dir = fs::path(testing::TempDir()) / ("journal-listing-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  const std::string file = (dir / "journal.sqlite").string();
  CJournal journal;
  std::string error;
  ASSERT_TRUE(journal.Open(file, error)) << error;
  for (JournalRow row : kRows) ASSERT_TRUE(journal.Append(row, error)) << error;
  ExpectListings(file, "");
  if (!server_.Missing().empty()) GTEST_SKIP() << server_.Missing();
  ASSERT_TRUE(server_.Start(error)) << error;
  CServerJournal server;
  ASSERT_TRUE(server.Connect(server_.Url(), error)) << error;
  for (const JournalRow& row : kRows)
    ASSERT_TRUE(server.Insert({row}, error)) << error;  // one by one: in order
  ExpectListings(server_.Url(), (dir / "outbox.sqlite").string());
}

// Runs a statement as the version before the notes column: naming its own columns.
bool Statement(bool server, const std::string& target, const std::string& sql,
               std::vector<std::string>* column) {
  bool ok = false;
  if (server) {
    PGconn* conn = PQconnectdb(target.c_str());
    PGresult* result = PQexec(conn, sql.c_str());
    ok = PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK;
    for (int i = 0; column && i < PQntuples(result); ++i)
      column->push_back(PQgetisnull(result, i, 0) ? "NULL" : PQgetvalue(result, i, 0));
    PQclear(result);
    PQfinish(conn);
    return ok;
  }
  sqlite3* db = nullptr;
  sqlite3_stmt* s = nullptr;
  ok = sqlite3_open(target.c_str(), &db) == SQLITE_OK &&
       sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == 0;
  int step = SQLITE_DONE;
  while (ok && (step = sqlite3_step(s)) == SQLITE_ROW)
    if (column)
      column->push_back(sqlite3_column_text(s, 0) ? (const char*)sqlite3_column_text(s, 0) : "NULL");
  sqlite3_finalize(s);
  sqlite3_close(db);
  return ok && step == SQLITE_DONE;
}

// A journal made before the notes column (the file, and the server's table)
// gains it when this version opens it, keeps its schema number (which is all
// the older version checks), and takes the older version's rows afterwards.
TEST_F(JournalListingTest, OlderAndNewerStationsShareAJournal) {
  const fs::path dir = fs::path(testing::TempDir()) / ("journal-sharing-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  for (const bool server : {false, true}) {
    if (server && !server_.Missing().empty()) GTEST_SKIP() << server_.Missing();
    std::string error, columns, values;
    ASSERT_TRUE(!server || server_.Start(error)) << error;
    const std::string target = server ? server_.Url() : (dir / "journal.sqlite").string();
    const std::string table = server ? "rv450_journal" : "journal";
    const std::string version = server ? "SELECT version FROM rv450_schema" : "PRAGMA user_version";
    for (const JournalColumnDef& c : kJournalColumns) {
      if (c.nullable || (!c.serverType && server)) continue;
      const auto text = std::get_if<std::string JournalRow::*>(&c.member);
      columns += (columns.empty() ? "\"" : ",\"") + std::string(c.sql) + "\"";
      values += (values.empty() ? "" : ",") + (text ? "'" + kRows[1].**text + "'" : "0");
    }
    auto open = [&](const JournalRow* row) {
      std::vector<JournalRow> rows;
      CServerJournal shared;
      CJournal local;
      if (server ? !shared.Connect(target, error) : !local.Open(target, error)) return rows;
      if (row &&
          !(server ? shared.Insert({*row}, error) : local.Append(*const_cast<JournalRow*>(row), error)))
        return rows;
      EXPECT_TRUE(server ? shared.Rows({}, rows, error) : local.Rows({}, rows, error)) << error;
      return rows;
    };
    open(nullptr);  // the older version's layout: these tables without the notes column
    ASSERT_TRUE(Statement(server, target, "ALTER TABLE " + table + " DROP COLUMN notes", nullptr));
    std::vector<std::string> before, after, notes;
    ASSERT_TRUE(Statement(server, target, version, &before));
    ASSERT_EQ(open(&kRows[0]).size(), 1u) << error;
    ASSERT_TRUE(Statement(server, target, version, &after));
    EXPECT_EQ(after, before) << server;
    ASSERT_TRUE(Statement(server, target,
                          "INSERT INTO " + table + " (" + columns + ") VALUES (" + values + ")", nullptr));
    const std::vector<JournalRow> rows = open(nullptr);
    ASSERT_EQ(rows.size(), 2u) << error;
    EXPECT_EQ(rows[0].id + rows[0].notes + "|" + rows[1].notes, kRows[1].id + "|" + kRows[0].notes);
    ASSERT_TRUE(Statement(server, target, "SELECT notes FROM " + table + " ORDER BY time", &notes));
    EXPECT_EQ(notes, (std::vector<std::string>{kRows[0].notes, "NULL"})) << server;
  }
}

}  // namespace
}  // namespace kestrun::journal
