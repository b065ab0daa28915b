// What rv450-cli journal adds to a listing (which rows a listing holds is
// tests/journal/JournalListingTest's): the devices export's CSV and JSON with
// the notes cells --with-columns names, --outcome and --latest handed on, the
// limit on a terminal and its note, and with a shared journal the first line,
// the "source" member and the warning while the server is away (exit 0).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "../support/PgServer.h"
#include "cli/Args.h"
#include "cli/JournalCommand.h"
#include "journal/RowNotes.h"
#include "journal/ServerJournal.h"

namespace kestrun::cli {
namespace {

namespace fs = std::filesystem;

struct Listed {
  int status = -1;
  std::string out, err;
};

Listed Journal(const std::string& target, std::vector<std::string> args, bool terminal = false) {
  args.insert(args.begin(), "journal");
  Options o;
  Listed run;
  if (!ParseArgs(args, o, run.err)) return run;
  std::ostringstream out, err;
  run.status = RunJournal(o, target, out, err, terminal);
  run.out = out.str();
  run.err = err.str();
  return run;
}

journal::JournalRow Row(const std::string& imei, int second, const std::string& outcome, int exitCode,
                        const std::string& vehicle = "") {
  journal::JournalRow r;
  r.id = journal::NewRowId();
  r.imei = imei;
  r.time = "2026-12-01T08:00:0" + std::to_string(second) + "Z";
  r.command = "provision";
  r.outcome = outcome;
  r.exitCode = exitCode;
  r.settingsHash = "hash-" + imei;
  r.rowKey = vehicle.empty() ? "" : "row of " + vehicle;
  r.notes = journal::NotesJson({{"#Vehicle", vehicle}, {"#Depot", "N, \"2\""}});
  return r;
}

void Append(const std::string& path, std::vector<journal::JournalRow> rows) {
  journal::CJournal db;
  std::string error;
  ASSERT_TRUE(db.Open(path, error)) << error;
  for (journal::JournalRow& row : rows) ASSERT_TRUE(db.Append(row, error)) << error;
}

// A fresh folder whose journal.sqlite the tests list; the outbox of a shared journal below it.
fs::path Fresh() {
  const fs::path dir = fs::path(testing::TempDir()) / ("journal-export-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  return dir;
}

TEST(JournalExportTest, DevicesStillFailingAndLimits) {
  const std::string file = (Fresh() / "journal.sqlite").string();
  // A was provisioned (verified) and failed a later retry; B failed, then was provisioned.
  const std::vector<journal::JournalRow> rows = {
      Row("A", 1, "equal", 0, "Bus 1"), Row("B", 2, "tracker-failed", 4),
      Row("A", 3, "tracker-failed", 4, "Bus 1"), Row("B", 4, "equal", 0, "Van 2")};
  Append(file, rows);
  const Listed csv = Journal(file, {"devices", "--csv", "--with-columns", "#Depot,#Vehicle"});
  EXPECT_EQ(csv.status, 0);
  EXPECT_EQ(csv.err, "");
  EXPECT_EQ(
      csv.out,
      "imei,iccid,firmware,time,outcome,settingsHash,station,port,rowKey,lastVerified,#Depot,#Vehicle\n"
      "A,,,2026-12-01T08:00:03Z,tracker-failed,hash-A,,,row of Bus 1,2026-12-01T08:00:01Z,\"N, "
      "\"\"2\"\"\",Bus 1\n"
      "B,,,2026-12-01T08:00:04Z,equal,hash-B,,,row of Van 2,2026-12-01T08:00:04Z,\"N, \"\"2\"\"\",Van 2\n");
  const Listed json = Journal(file, {"devices", "--json", "--imei", "B", "--with-columns", "#Vehicle"});
  EXPECT_EQ(nlohmann::json::parse(json.out)["notes"], nlohmann::json({{"#Vehicle", "Van 2"}})) << json.out;

  // A terminal shows kTerminalRows and says more exist; a pipe or --limit 0 all; --limit N so many.
  journal::JournalRow many = Row("C", 9, "ok", 0);
  many.id.clear();  // each gets its own
  Append(file, std::vector<journal::JournalRow>(kTerminalRows + 1, many));
  const std::size_t all = rows.size() + kTerminalRows + 1;
  const struct {
    std::vector<std::string> args;
    bool terminal;
    std::size_t shown;
    bool note;
  } limits[] = {{{"--outcome", "failed", "--latest"}, false, 1, false},  // A still fails, B no longer
                {{}, true, kTerminalRows, true},
                {{}, false, all, false},
                {{"--limit", "0"}, true, all, false},
                {{"--limit", "3"}, false, 3, true},
                {{"--limit", "300"}, true, all, false}};
  for (const auto& l : limits) {
    SCOPED_TRACE(&l - limits);
    const Listed run = Journal(file, l.args, l.terminal);
    EXPECT_EQ(static_cast<std::size_t>(std::count(run.out.begin(), run.out.end(), '\n')),
              l.shown + 1);  // and the header
    EXPECT_EQ(run.err.find("more exist; --limit 0 lists them all") != std::string::npos, l.note) << run.err;
  }
}

// With a shared journal set the text's first line names the server (or is the
// header of the station's own rows), JSON says where each row comes from, and
// a server that does not answer is a warning; never the password.
TEST(JournalExportTest, ASharedJournalIsReadWhenItAnswers) {
  Fresh();
  test::CPgServer server;
  if (!server.Missing().empty()) GTEST_SKIP() << server.Missing();
  std::string error;
  ASSERT_TRUE(server.Start(error)) << error;
  const std::string url = server.Url("s3cret"), named = "shared journal postgresql://kestrun:***@";
  {
    journal::CServerJournal shared;
    ASSERT_TRUE(shared.Connect(url, error)) << error;
    ASSERT_TRUE(shared.Insert({Row("S1", 1, "equal", 0, "Bus 1"), Row("S2", 2, "equal", 0)}, error)) << error;
  }
  Append(journal::CJournal::DefaultPath(), {Row("L", 3, "tracker-failed", 4)});  // waits in the outbox
  const struct {
    std::vector<std::string> args;
    bool up;
    std::string first, source, err;  // `first`: the text's first line begins so
  } cases[] = {
      {{}, true, named, "server", "1 row of this station is not on"},
      {{"devices"}, true, named, "server", "1 row of this station is not on"},
      {{"--local"}, true, "TIME (UTC)", "local", ""},
      {{}, false, "TIME (UTC)", "local", "warning: the shared journal postgresql://kestrun:***@"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    ASSERT_TRUE(c.up || server.Stop(error)) << error;
    const Listed text = Journal(url, c.args);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.rfind(c.first, 0), 0u) << text.out;
    EXPECT_TRUE(c.err.empty() ? text.err.empty() : text.err.find(c.err) != std::string::npos) << text.err;
    std::vector<std::string> args = c.args;
    args.push_back("--json");
    const Listed json = Journal(url, args);
    for (std::istringstream lines(json.out); std::getline(lines, error);)
      EXPECT_EQ(nlohmann::json::parse(error)["source"], c.source) << error;
    EXPECT_NE(json.out, "");  // which rows: JournalListingTest
    for (const std::string& shown : {text.out, text.err, json.out, json.err})
      EXPECT_EQ(shown.find("s3cret"), std::string::npos);
  }
}

}  // namespace
}  // namespace kestrun::cli
