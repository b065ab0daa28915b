// A row's notes cells; every listing rule, read alike from the local journal
// and the shared server (the station's own rows when it is away or not asked);
// the notes column added later letting stations of the version before it
// share a journal file or server.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include "../support/JournalRows.h"
#include "../support/PgServer.h"
#include "../support/TestFiles.h"
#include "journal/JournalColumns.h"
#include "journal/JournalListing.h"
#include "journal/RowNotes.h"
#include "journal/ServerJournal.h"

namespace kestrun::journal {
namespace {

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

using test::JournalTestRow;

// Written in this order; rows 1 and 6 share a time (the later written is the newer).
const std::vector<JournalRow> kRows = {
    JournalTestRow("A", "01", "equal", "Bus 1"), JournalTestRow("C", "02", "equal"),
    JournalTestRow("B", "03", "tracker-failed"), JournalTestRow("A", "04", "tracker-failed"),
    JournalTestRow("B", "05", "equal", "Bus 2"), JournalTestRow("", "06", "port-not-opened"),
    JournalTestRow("C", "02", "different")};

// Every listing rule on one journal: `target` a file, or a server with `outbox` the station's own rows.
void ExpectListings(const std::string& target, const std::string& outbox) {
  JournalQuery failed, stillFailing, latest, since, limited, exactly;
  failed.failed = stillFailing.failed = exactly.failed = true;
  stillFailing.latest = latest.latest = since.latest = true;
  latest.imeis = {"A", "C"}, since.since = "2026-12-01T08:00:03Z", limited.limit = 2, exactly.limit = 3;
  const struct {
    const char* name;
    JournalQuery query;
    bool devices, more;
    std::vector<std::size_t> rows;  // indices into kRows, in listing order
  } cases[] = {{"every row, newest first", {}, false, false, {5, 4, 3, 2, 6, 1, 0}},
               {"failed", failed, false, false, {5, 3, 2}},
               {"still failing", stillFailing, false, false, {3}},
               {"latest of two", latest, false, false, {3, 6}},
               {"latest since", since, false, false, {4, 3}},
               {"limited", limited, false, true, {5, 4}},
               {"as many as the limit: no more", exactly, false, false, {5, 3, 2}},
               {"devices", {}, true, false, {3, 4, 6}},
               {"devices failed", failed, true, false, {3}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
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
      const std::size_t verified = r.imei == "A" ? 0 : r.imei == "B" ? 4 : 1;
      want.push_back(c.devices ? r.imei + r.time + r.rowKey + r.notes + kRows[verified].time
                               : r.id + r.notes);
    }
    EXPECT_EQ(ids, want);
    EXPECT_EQ(got.more, c.more);
  }
}

// The same rows from the file and from the server; with a server set, the
// station's own rows (its outbox) instead with localOnly, or with a warning
// while the server does not answer.
TEST(JournalListingTest, TheLocalJournalAndTheServerListAlike) {
  const kestrun::testing::TempDir dir;
  const std::string file = dir / "journal.sqlite", outbox = dir / "outbox.sqlite";
  CJournal journal, own;
  std::string error;
  ASSERT_TRUE(journal.Open(file, error)) << error;
  for (JournalRow row : kRows) ASSERT_TRUE(journal.Append(row, error)) << error;
  ExpectListings(file, "");
  test::CPgServer pg;
  if (!pg.Missing().empty()) GTEST_SKIP() << pg.Missing();
  ASSERT_TRUE(pg.Start(error)) << error;
  CServerJournal server;
  ASSERT_TRUE(server.Connect(pg.Url(), error)) << error;
  for (const JournalRow& row : kRows)
    ASSERT_TRUE(server.Insert({row}, error)) << error;  // one by one: in order
  ExpectListings(pg.Url(), outbox);
  JournalRow waiting = JournalTestRow("L", "07", "equal");
  ASSERT_TRUE(own.Open(outbox, error) && own.Append(waiting, error)) << error;
  const std::string url = pg.Url("s3cret"), masked = MaskedUrl(url);  // the password never shown
  for (const auto& [name, up, localOnly, rows, fromServer, warned] :
       {std::tuple{"the server's rows", true, false, 7u, true, false},
        {"this station's when asked", true, true, 1u, false, false},
        {"this station's, with a warning, while the server is away", false, false, 1u, false, true}}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(up || pg.Stop(error)) << error;
    Listing got;
    ASSERT_TRUE(ReadListing({url, outbox, {}, false, localOnly}, got, error)) << error;
    ASSERT_EQ(got.rows.size(), rows);
    EXPECT_EQ(got.rows[0].id == waiting.id, !fromServer);
    EXPECT_EQ(got.server, fromServer ? masked : "");
    EXPECT_EQ(got.waiting, fromServer ? 1 : -1);  // the rows of this station the server lacks
    EXPECT_EQ(got.warning.starts_with("the shared journal " + masked + " cannot be read (") &&
                  got.warning.ends_with("); listing this station's rows only, from " + outbox),
              warned)
        << got.warning;
  }
}

// Runs a statement as the version before the notes column: naming its own
// columns; the first column of the rows it gives ("NULL" for a NULL) into `column`.
bool Statement(bool server, const std::string& target, const std::string& sql,
               std::vector<std::string>* column = nullptr) {
  if (server) {
    PGconn* conn = PQconnectdb(target.c_str());
    PGresult* result = PQexec(conn, sql.c_str());
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK;
    for (int i = 0; column && i < PQntuples(result); ++i)
      column->push_back(PQgetisnull(result, i, 0) ? "NULL" : PQgetvalue(result, i, 0));
    PQclear(result);
    PQfinish(conn);
    return ok;
  }
  const auto add = [](void* to, int, char** values, char**) {
    if (to) static_cast<std::vector<std::string>*>(to)->push_back(values[0] ? values[0] : "NULL");
    return 0;
  };
  sqlite3* db = nullptr;
  const bool ok = sqlite3_open(target.c_str(), &db) == SQLITE_OK &&
                  sqlite3_exec(db, sql.c_str(), add, column, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

// A journal made before the notes column (the file, and the server's table)
// gains it when this version opens it, keeps its schema number (which is all
// the older version checks), and takes the older version's rows afterwards.
TEST(JournalListingTest, OlderAndNewerStationsShareAJournal) {
  const kestrun::testing::TempDir dir;
  test::CPgServer pg;
  for (const bool server : {false, true}) {
    if (server && !pg.Missing().empty()) GTEST_SKIP() << pg.Missing();
    std::string error, columns, values;
    ASSERT_TRUE(!server || pg.Start(error)) << error;
    const std::string target = server ? pg.Url() : dir / "journal.sqlite";
    const std::string table = server ? "rv450_journal" : "journal";
    const std::string version = server ? "SELECT version FROM rv450_schema" : "PRAGMA user_version";
    for (const JournalColumnDef& c : kJournalColumns) {
      if (c.nullable || (!c.serverType && server)) continue;
      const auto text = std::get_if<std::string JournalRow::*>(&c.member);
      columns += (columns.empty() ? "\"" : ",\"") + std::string(c.sql) + "\"";
      values += (values.empty() ? "" : ",") + (text ? "'" + kRows[1].**text + "'" : "0");
    }
    // This version on the journal: opens it, appends `row` when given, lists its rows.
    const auto open = [&](JournalRow* row) {
      std::vector<JournalRow> rows;
      CServerJournal shared;
      CJournal local;
      EXPECT_TRUE(server ? shared.Connect(target, error) && (!row || shared.Insert({*row}, error)) &&
                               shared.Rows({}, rows, error)
                         : local.Open(target, error) && (!row || local.Append(*row, error)) &&
                               local.Rows({}, rows, error))
          << error;
      return rows;
    };
    open(nullptr);  // the older version's layout: these tables without the notes column
    ASSERT_TRUE(Statement(server, target, "ALTER TABLE " + table + " DROP COLUMN notes"));
    std::vector<std::string> before, after, notes;
    JournalRow newer = kRows[0];
    ASSERT_TRUE(Statement(server, target, version, &before));
    ASSERT_EQ(open(&newer).size(), 1u) << error;
    ASSERT_TRUE(Statement(server, target, version, &after));
    EXPECT_EQ(after, before) << server;
    ASSERT_TRUE(
        Statement(server, target, "INSERT INTO " + table + " (" + columns + ") VALUES (" + values + ")"));
    const std::vector<JournalRow> rows = open(nullptr);
    ASSERT_EQ(rows.size(), 2u) << error;
    EXPECT_EQ(rows[0].id + rows[0].notes + "|" + rows[1].notes, kRows[1].id + "|" + kRows[0].notes);
    ASSERT_TRUE(Statement(server, target, "SELECT notes FROM " + table + " ORDER BY time", &notes));
    EXPECT_EQ(notes, (std::vector<std::string>{kRows[0].notes, "NULL"})) << server;
  }
}

}  // namespace
}  // namespace kestrun::journal
