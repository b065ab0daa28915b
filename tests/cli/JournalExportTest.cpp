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

struct Listed {
  int status;
  std::string out, err;
};

Listed Journal(const std::string& target, std::vector<std::string> args, bool terminal = false) {
  args.insert(args.begin(), "journal");
  Options o;
  std::string error;
  std::ostringstream out, err;
  const int status = ParseArgs(args, o, error) ? RunJournal(o, target, out, err, terminal) : -1;
  return {status, out.str(), err.str() + error};
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

TEST(JournalExportTest, WhatTheCommandLineAddsToAListing) {
  const fs::path dir = fs::path(testing::TempDir()) / ("journal-export-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  // This station's journal, also its outbox with a shared journal. A was provisioned
  // (verified) and failed a later retry; B failed, then was provisioned; C has more
  // rows than a terminal shows.
  const std::string file = journal::CJournal::DefaultPath();
  std::vector<journal::JournalRow> rows = {Row("A", 1, "equal", "Bus 1"), Row("B", 2, "tracker-failed"),
                                           Row("A", 3, "tracker-failed", "Bus 1"),
                                           Row("B", 4, "equal", "Van 2")};
  rows.resize(rows.size() + kTerminalRows + 1, Row("C", 5, "ok"));
  journal::CJournal local;
  std::string error;
  ASSERT_TRUE(local.Open(file, error)) << error;
  for (journal::JournalRow& row : rows) ASSERT_TRUE(local.Append(row, error)) << error;
  const nlohmann::json json = nlohmann::json::parse(
      Journal(file, {"devices", "--json", "--imei", "B", "--with-columns", "#Vehicle"}).out);
  EXPECT_EQ(json["notes"], nlohmann::json({{"#Vehicle", "Van 2"}})) << json;
  EXPECT_FALSE(json.contains("source")) << json;  // no shared journal set

  const auto all = static_cast<std::ptrdiff_t>(rows.size());
  const std::string note = "more exist; --limit 0 lists them all";
  const std::string named = "shared journal postgresql://kestrun:***@";
  const std::string waiting = std::to_string(all) + " rows of this station are not on the shared journal";
  const std::string away = "postgresql://kestrun:s3cret@/kestrun?host=" + (dir / "none").string();
  enum Target { kFile, kAway, kUp };  // kUp last: the server starts for the first
  const struct {
    Target target;
    std::vector<std::string> args;
    bool terminal;
    std::ptrdiff_t lines;  // lines written (0: not counted)
    // How the output begins; what standard error says (empty: nothing); with --json, each row's "source".
    std::string first, err;
    const char* source;
  } cases[] = {
      {kFile,
       {"devices", "--csv", "--with-columns", "#Depot,#Vehicle"},
       false,
       4,
       "imei,iccid,firmware,time,outcome,settingsHash,station,port,rowKey,lastVerified,#Depot,#Vehicle\n"
       "A,,,2026-12-01T08:00:03Z,tracker-failed,hash-A,,,Bus 1,2026-12-01T08:00:01Z,\"N, "
       "\"\"2\"\"\",Bus 1\n"
       "B,,,2026-12-01T08:00:04Z,equal,hash-B,,,Van 2,2026-12-01T08:00:04Z,\"N, \"\"2\"\"\",Van 2\n",
       "",
       nullptr},
      {kFile, {"--outcome", "failed", "--latest"}, false, 2, "", "", nullptr},  // A still fails, B no longer
      {kFile, {}, true, kTerminalRows + 1, "", note, nullptr},                  // and the header
      {kFile, {}, false, all + 1, "", "", nullptr},
      {kFile, {"--limit", "0"}, true, all + 1, "", "", nullptr},
      {kFile, {"--limit", "3"}, false, 4, "", note, nullptr},
      {kFile, {"--limit", "300"}, true, all + 1, "", "", nullptr},
      {kAway, {"--local"}, false, all + 1, "TIME (UTC)", "", nullptr},  // the server not asked
      {kAway, {"--json"}, false, all, "", "warning: the shared journal postgresql://kestrun:***@", "local"},
      {kUp, {}, false, 0, named, waiting, nullptr},
      {kUp, {"devices"}, false, 0, named, waiting, nullptr},
      {kUp, {"devices", "--json"}, false, 1, "", waiting, "server"},
  };
  test::CPgServer pg;
  std::string up;
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    if (c.target == kUp && up.empty()) {
      if (!pg.Missing().empty()) GTEST_SKIP() << pg.Missing();
      journal::CServerJournal server;
      ASSERT_TRUE(pg.Start(error) && server.Connect(pg.Url(), error) && server.Insert({rows[0]}, error))
          << error;
      up = pg.Url("s3cret");
    }
    const Listed run = Journal(c.target == kFile ? file : c.target == kAway ? away : up, c.args, c.terminal);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(c.lines ? std::count(run.out.begin(), run.out.end(), '\n') : 0, c.lines);
    EXPECT_EQ(run.out.rfind(c.first, 0), 0u) << run.out;
    EXPECT_TRUE(c.err.empty() ? run.err.empty() : run.err.find(c.err) != std::string::npos) << run.err;
    EXPECT_EQ((run.out + run.err).find("s3cret"), std::string::npos);
    for (std::istringstream lines(c.source ? run.out : ""); std::getline(lines, error);)
      EXPECT_EQ(nlohmann::json::parse(error)["source"], c.source) << error;
  }
}

}  // namespace
}  // namespace kestrun::cli
