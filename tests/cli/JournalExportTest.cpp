// What rv450-cli journal adds to a listing (which rows a listing holds, and
// the shared journal's fallback, are tests/journal/JournalListingTest's): the
// devices export's CSV and JSON with the notes cells --with-columns names,
// --imei, --outcome and --latest handed on, the limit on a terminal and its
// note, and with a shared journal the first line, the "source" member, the
// station's rows not on it yet and the warning while the server is away (exit 0).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "../support/JournalRows.h"
#include "../support/PgServer.h"
#include "cli/Args.h"
#include "cli/JournalCommand.h"
#include "journal/RowNotes.h"
#include "journal/ServerJournal.h"

namespace kestrun::cli {
namespace {

namespace fs = std::filesystem;

// A fresh folder's journal.sqlite: the station's journal, and its outbox with a shared journal.
std::string Fresh() {
  const fs::path dir = fs::path(testing::TempDir()) / ("journal-export-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  return journal::CJournal::DefaultPath();
}

// With a settings hash, a "#Depot" cell that CSV quotes, and no id: the journal gives each its own.
journal::JournalRow Row(const std::string& imei, int second, const std::string& outcome,
                        const std::string& vehicle = "") {
  journal::JournalRow r = test::JournalTestRow(imei, "0" + std::to_string(second), outcome, vehicle);
  r.id.clear();
  r.settingsHash = "hash-" + imei;
  r.notes = journal::NotesJson({{"#Vehicle", vehicle}, {"#Depot", "N, \"2\""}});
  return r;
}

// A run of rv450-cli journal on `target` and what it writes; it exits 0.
struct JournalRun {
  std::vector<std::string> args;
  bool terminal;
  std::ptrdiff_t lines;  // lines written (0: not counted)
  // How the output begins; what standard error says (empty: nothing); with --json, each row's "source".
  std::string first, err;
  const char* source;
};

void ExpectRun(const std::string& target, JournalRun c) {
  c.args.insert(c.args.begin(), "journal");
  SCOPED_TRACE(testing::PrintToString(c.args));
  Options o;
  std::ostringstream out, err;
  std::string error;
  ASSERT_TRUE(ParseArgs(c.args, o, error)) << error;
  EXPECT_EQ(RunJournal(o, target, out, err, c.terminal), 0) << err.str();
  const std::string written = out.str(), said = err.str();
  EXPECT_EQ(c.lines ? std::count(written.begin(), written.end(), '\n') : 0, c.lines);
  EXPECT_EQ(written.rfind(c.first, 0), 0u) << written;
  EXPECT_TRUE(c.err.empty() ? said.empty() : said.find(c.err) != std::string::npos) << said;
  EXPECT_EQ((written + said).find("s3cret"), std::string::npos);
  for (std::istringstream lines(c.source ? written : ""); std::getline(lines, error);)
    EXPECT_EQ(nlohmann::json::parse(error)["source"], c.source) << error;
}

TEST(JournalExportTest, TheDevicesExportTheLimitsAndTheStationsOwnRows) {
  // A was provisioned (verified) and failed a later retry; B failed, then was
  // provisioned; C has more rows than a terminal shows.
  const std::string file = Fresh();
  std::vector<journal::JournalRow> rows = {Row("A", 1, "equal", "Bus 1"), Row("B", 2, "tracker-failed"),
                                           Row("A", 3, "tracker-failed", "Bus 1"),
                                           Row("B", 4, "equal", "Van 2")};
  rows.resize(rows.size() + kTerminalRows + 1, Row("C", 5, "ok"));
  journal::CJournal local;
  std::string error;
  ASSERT_TRUE(local.Open(file, error)) << error;
  for (journal::JournalRow& row : rows) ASSERT_TRUE(local.Append(row, error)) << error;
  const std::string csv =
      "imei,iccid,firmware,time,outcome,settingsHash,station,port,rowKey,lastVerified,#Depot,#Vehicle\n"
      "A,,,2026-12-01T08:00:03Z,tracker-failed,hash-A,,,Bus 1,2026-12-01T08:00:01Z,\"N, \"\"2\"\"\",Bus 1\n"
      "B,,,2026-12-01T08:00:04Z,equal,hash-B,,,Van 2,2026-12-01T08:00:04Z,\"N, \"\"2\"\"\",Van 2\n";
  // Without a shared journal: no "source" member.
  const std::string json =
      "{\"schema\":1,\"imei\":\"B\",\"iccid\":\"\",\"firmware\":\"\",\"time\":\"2026-12-01T08:00:04Z\","
      "\"outcome\":\"equal\",\"settingsHash\":\"hash-B\",\"station\":\"\",\"port\":\"\",\"rowKey\":\"Van 2\","
      "\"lastVerified\":\"2026-12-01T08:00:04Z\",\"notes\":{\"#Vehicle\":\"Van 2\"}}\n";
  const auto all = static_cast<std::ptrdiff_t>(rows.size());
  const std::string note = "more exist; --limit 0 lists them all";
  const JournalRun runs[] = {
      {{"devices", "--csv", "--with-columns", "#Depot,#Vehicle"}, false, 4, csv, "", nullptr},
      {{"devices", "--json", "--imei", "B", "--with-columns", "#Vehicle"}, false, 1, json, "", nullptr},
      {{"--outcome", "failed", "--latest"}, false, 2, "", "", nullptr},  // A still fails, B no longer
      {{}, true, kTerminalRows + 1, "", note, nullptr},                  // and the header
      {{}, false, all + 1, "", "", nullptr},
      {{"--limit", "0"}, true, all + 1, "", "", nullptr},
      {{"--limit", "3"}, false, 4, "", note, nullptr},
      {{"--limit", "300"}, true, all + 1, "", "", nullptr}};
  for (const JournalRun& c : runs) ExpectRun(file, c);
  // A shared journal set: this station's rows when asked, or with a warning while the server is away.
  const std::string away =
      "postgresql://kestrun:s3cret@/kestrun?host=" + fs::path(file).parent_path().string();
  ExpectRun(away, {{"--local"}, false, all + 1, "TIME (UTC)", "", nullptr});
  ExpectRun(away,
            {{"--json"}, false, all, "", "warning: the shared journal postgresql://kestrun:***@", "local"});
}

// The server's rows: the first line names it, JSON says they are the
// server's, and standard error counts this station's rows it lacks.
TEST(JournalExportTest, ASharedJournalIsReadWhenItAnswers) {
  test::CPgServer pg;
  if (!pg.Missing().empty()) GTEST_SKIP() << pg.Missing();
  journal::CJournal local;
  journal::CServerJournal server;
  journal::JournalRow row = Row("A", 1, "equal");
  std::string error;
  ASSERT_TRUE(local.Open(Fresh(), error) && local.Append(row, error) && pg.Start(error) &&
              server.Connect(pg.Url(), error) && server.Insert({row}, error))
      << error;  // in the outbox still unsent
  const std::string named = "shared journal postgresql://kestrun:***@";
  const std::string waiting = "1 row of this station is not on the shared journal";
  for (const JournalRun& c : {JournalRun{{}, false, 0, named, waiting, nullptr},
                              JournalRun{{"devices"}, false, 0, named, waiting, nullptr},
                              JournalRun{{"devices", "--json"}, false, 1, "", waiting, "server"}})
    ExpectRun(pg.Url("s3cret"), c);
}

}  // namespace
}  // namespace kestrun::cli
