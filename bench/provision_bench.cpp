// rv450-provision-bench: what the per-tracker table and the journal cost.
//
// Batch: `rv450-cli verify` of one fully filled config file with neither
// table nor journal, against `rv450-cli provision` of the same file with a
// 1000-row table (keyed by IMEI, the simulated trackers' IMEIs among the
// rows) and the SQLite journal, for 8 and 32 simulated trackers answering
// late with the fast pacing; the median of several runs each and the ratio.
//
// Journal: a journal of one million rows (filled in one transaction) and the
// time `rv450-cli journal --imei X` takes on it, median of several runs, with
// SQLite's plan for the query (it must search the IMEI index). With --server
// the batch also runs with a PostgreSQL journal. On the same journal: the
// time SQLite's quick_check adds when a command that touches ports opens it.
//
// Table: the check of a 100 000-row table (keyed by IMEI, a PIN, a phone
// number and a name each), as provision runs it before any port: reading,
// splitting, every cell's rules and every row merged over the template.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "batch/ProvisionPlan.h"
#include "bench/FullForm.h"
#include "bench/Median.h"
#include "bench/SimBench.h"
#include "cli/Cli.h"
#include "cmdline/OptionTable.h"
#include "cmdline/WholeNumber.h"
#include "journal/Journal.h"
#include "protocol/Identity.h"
#include "settings/ConfigFile.h"
#include "sim/TrackerSim.h"
#include "tests/support/PgServer.h"

using namespace kestrun;

namespace {

double SecondsOf(const std::function<bool()>& run) {
  const auto start = std::chrono::steady_clock::now();
  if (!run()) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Settings {
  int runs = 5;
  int delayMs = 50;
  int tableRows = 1000;
  int journalRows = 1000000;
  int queries = 9;
  int checkRows = 100000;
  std::vector<int> counts = {8, 32};
  bool batch = true;
  bool journal = true;
  bool table = true;
  std::string server;            // a PostgreSQL journal ("postgresql://..."), or empty
  bool throwawayServer = false;  // --postgresql: a server of its own on this machine
  bool help = false;
};

class CBench {
 public:
  CBench(const Settings& settings, std::string dir) : s_(settings), dir_(std::move(dir)) {
    file_ = dir_ + "/fleet.ini";
    CIniFile ini(file_);
    WriteConfigFile(ini, FullFormValues(), "");
  }

  // One run of `args` (the port list appended) to `count` fresh simulators.
  double Batch(int count, std::vector<std::string> args) {
    std::vector<std::unique_ptr<sim::CTrackerSim>> sims;
    std::string ports;
    if (!StartSimBench("rv450-provision-bench", dir_ + "/ports", count, s_.delayMs, sims, ports)) return -1;
    args.insert(args.end(), {"--port", ports, "--pacing", "fast", "--quiet"});
    return SecondsOf([&] { return Cli(args, 0); });
  }

  // verify without table and journal, then provision with both.
  std::vector<std::string> VerifyArgs() const { return {"verify", file_, "--no-journal"}; }
  // Without the provision command in this build: verify with the SQLite journal.
  std::vector<std::string> ProvisionArgs(const std::string& journal) {
    if (!HasProvision()) return {"verify", file_, "--journal", journal};
    return {"provision", file_, "--table", Table(), "--journal", journal};
  }
  bool HasProvision() {
    cli::Environment env;
    std::ostringstream out, err;
    return cli::RunCli({"help", "provision"}, out, err, env) == 0;
  }

  // The table: `tableRows` IMEIs, those of the simulators first, each with a PIN.
  std::string Table() const {
    const std::string path = dir_ + "/table.csv";
    if (std::filesystem::exists(path)) return path;
    std::ofstream out(path);
    out << "IMEI,RVPIN/PIN\n";
    for (int i = 0; i < s_.tableRows; ++i)
      out << sim::SimImei(i < 64 ? 100 + i : 1000 + i) << "," << 1000 + i % 9000 << "\n";
    return path;
  }

  // A table of `checkRows` rows of valid IMEIs, each with a PIN, a phone number and a name.
  std::string BigTable() const {
    const std::string path = dir_ + "/big.csv";
    std::ofstream out(path);
    out << "IMEI,RVPIN/PIN,RVKPN/PhoneNum1,RVKPN/PhoneName1\n";
    for (int i = 0; i < s_.checkRows; ++i) {
      char head[16];
      std::snprintf(head, sizeof head, "35%012d", i);
      std::string imei = head;
      for (char digit = '0'; digit <= '9'; ++digit)
        if (IsValidImei(imei + digit)) {
          imei += digit;
          break;
        }
      out << imei << "," << 1000 + i % 9000 << ",+49170" << 1000000 + i << ",Driver " << i << "\n";
    }
    return path;
  }

  // The check provision runs on `table` before any port; false when it refused the table.
  bool CheckTable(const std::string& table) const {
    batch::ProvisionRequest request;
    request.templatePath = file_;
    request.tablePath = table;
    request.password = "5830";
    batch::JobPlan plan;
    std::vector<std::string> problems;
    if (batch::PrepareProvision(request, plan, problems)) return true;
    std::fprintf(stderr, "rv450-provision-bench: the table was refused: %s\n",
                 problems.empty() ? "" : problems.front().c_str());
    return false;
  }

  // A journal of `journalRows` rows over a tenth as many trackers; the IMEI to look up.
  bool FillJournal(const std::string& path, std::string& imei) {
    std::filesystem::remove(path);
    journal::CJournal made;
    journal::JournalRow row;
    row.station = "bench";
    row.user = "bench";
    row.program = "rv450-cli";
    row.version = "0";
    row.port = "COM100";
    row.device = "/dev/pts/0";
    row.command = "provision";
    row.outcome = "equal";
    std::string error;
    if (!made.Open(path, error) || !made.Append(row, error)) {
      std::fprintf(stderr, "rv450-provision-bench: %s\n", error.c_str());
      return false;
    }
    const int trackers = std::max(1, s_.journalRows / 10);
    imei = Imei(trackers / 2);
    sqlite3* db = nullptr;
    const std::string fill =
        "BEGIN; DELETE FROM journal; "
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < " +
        std::to_string(s_.journalRows) +
        ") INSERT INTO journal (id, time, station, user, program, version, port, device, imei, iccid, "
        "firmware, signal, command, template, settings_hash, row_key, groups_sent, outcome, exit_code, "
        "message, seconds, sent) SELECT lower(hex(randomblob(16))), "
        "strftime('%Y-%m-%dT%H:%M:%SZ', '2026-01-01', '+' || i || ' seconds'), 'bench', 'bench', "
        "'rv450-cli', '0', 'COM' || (100 + i % 32), '/dev/pts/' || (i % 32), "
        "printf('35%013d', i % " +
        std::to_string(trackers) + "), '8949' || printf('%015d', i % " + std::to_string(trackers) +
        "), 'RV450 V2.25', '21', 'provision', 'fleet.ini', hex(randomblob(32)), '', "
        "'RVSRI,RVBEI,RVTRI,RVGEO,RVBAC,RVKPN,RVWLT,RVPIN', CASE WHEN i % 50 = 0 THEN 'tracker-failed' ELSE "
        "'equal' END, CASE WHEN i % 50 = 0 THEN 4 ELSE 0 END, '', 3.5, 0 FROM n; COMMIT;";
    char* message = nullptr;
    const bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, fill.c_str(), nullptr, nullptr, &message) == SQLITE_OK;
    if (!ok) std::fprintf(stderr, "rv450-provision-bench: %s\n", message ? message : sqlite3_errmsg(db));
    sqlite3_free(message);
    sqlite3_close(db);
    return ok;
  }

  // SQLite's plan for the lookup `journal --imei` makes.
  static std::string Plan(const std::string& path) {
    sqlite3* db = nullptr;
    std::string plan;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
      sqlite3_exec(
          db,
          "EXPLAIN QUERY PLAN SELECT * FROM journal WHERE 1 AND imei = 'x' ORDER BY time DESC, rowid DESC",
          [](void* into, int columns, char** values, char**) {
            auto& text = *static_cast<std::string*>(into);
            text += (text.empty() ? "" : "; ") + std::string(values[columns - 1] ? values[columns - 1] : "");
            return 0;
          },
          &plan, nullptr);
    sqlite3_close(db);
    return plan;
  }

  bool Cli(const std::vector<std::string>& args, std::size_t* printed) {
    cli::Environment env;
    env.discovery = {dir_ + "/no-sysfs", "/dev", dir_ + "/ports"};
    env.workDir = dir_;
    env.journalPath = dir_ + "/default.sqlite";
    std::ostringstream out, err;
    const int status = cli::RunCli(args, out, err, env);
    if (printed) *printed = out.str().size();
    if (status == 0) return true;
    std::fprintf(stderr, "rv450-provision-bench: rv450-cli %s failed (%d):\n%s%s", args[0].c_str(), status,
                 out.str().c_str(), err.str().c_str());
    return false;
  }

  static std::string Imei(int n) {
    char text[32];
    std::snprintf(text, sizeof text, "35%013d", n);
    return text;
  }

 private:
  const Settings& s_;
  std::string dir_;
  std::string file_;
};

kestrun::COptionTable OptionTable(Settings& s) {
  auto count = [](int& field, int least, const char* name) {
    return [&field, least, name](const std::string& value, std::string& error) {
      if (ParseWholeNumber(value, least, 100000000, field)) return true;
      error = std::string("bad ") + name + " '" + value + "'";
      return false;
    };
  };
  return kestrun::COptionTable({
      {"--runs", "N", "batch runs per row, the median is shown (default 5)", count(s.runs, 1, "--runs")},
      {"--delay", "MS", "each simulator answers each line after MS milliseconds (default 50)",
       count(s.delayMs, 0, "--delay")},
      {"--trackers", "LIST", "tracker counts (default 8,32)",
       [&s](const std::string& value, std::string& error) {
         if (ParseWholeNumbers(value, 1, 64, s.counts)) return true;
         error = "bad --trackers '" + value + "'";
         return false;
       }},
      {"--table-rows", "N", "rows of the per-tracker table (default 1000)",
       count(s.tableRows, 64, "--table-rows")},
      {"--journal-rows", "N", "rows of the journal looked up (default 1000000)",
       count(s.journalRows, 10, "--journal-rows")},
      {"--check-rows", "N", "rows of the table whose check is timed (default 100000)",
       count(s.checkRows, 1, "--check-rows")},
      {"--server", "URL", "also provision with this shared journal (postgresql://...)\non the same machine",
       [&s](const std::string& value, std::string& error) {
         s.server = value;
         if (value.rfind("postgresql://", 0) == 0 || value.rfind("postgres://", 0) == 0) return true;
         error = "--server wants postgresql://..., not '" + value + "'";
         return false;
       }},
      {"--postgresql", "",
       "also provision with a throwaway PostgreSQL server of its\nown on this machine (initdb, pg_ctl)",
       [&s](const std::string&, std::string&) { return s.throwawayServer = true; }},
      {"--only-batch", "", "only the batch runs",
       [&s](const std::string&, std::string&) { return !(s.journal = s.table = false); }},
      {"--only-journal", "", "only the journal lookup and check",
       [&s](const std::string&, std::string&) { return !(s.batch = s.table = false); }},
      {"--only-table", "", "only the table check",
       [&s](const std::string&, std::string&) { return !(s.batch = s.journal = false); }},
      {"-h,--help", "", "this text", [&s](const std::string&, std::string&) { return s.help = true; }},
  });
}

std::string Usage() {
  Settings unused;
  return "Usage: rv450-provision-bench [OPTIONS]\n\n"
         "Times rv450-cli verify (no table, no journal) against rv450-cli provision\n"
         "(a per-tracker table and the SQLite journal) on simulated trackers that\n"
         "answer late, with the fast pacing, journal --imei and the journal's\n"
         "quick_check on a journal of a million rows, and the check of a\n"
         "100 000-row table. Prints Markdown tables.\n\nOptions:\n" +
         OptionTable(unused).Help() +
         "\nExit status: 0 when every run passed, 1 when one failed, 2 on bad usage.\n";
}

}  // namespace

int main(int argc, char** argv) {
  Settings s;
  std::string error;
  OptionTable(s).ParseWithoutOperands(argc, argv, error);
  if (!error.empty()) {
    std::fprintf(stderr, "rv450-provision-bench: %s\n\n%s", error.c_str(), Usage().c_str());
    return 2;
  }
  if (s.help) {
    std::fputs(Usage().c_str(), stdout);
    return 0;
  }
  char dirTemplate[] = "/tmp/rv450-provision-bench-XXXXXX";
  if (!::mkdtemp(dirTemplate)) return 1;
  // The local journal a shared one keeps its outbox in stays in the bench's folder.
  ::setenv("XDG_DATA_HOME", dirTemplate, 1);
  CBench bench(s, dirTemplate);
  int status = 0;
  // The server waits for its disk as a real one does.
  test::CPgServer server(true);
  if (s.throwawayServer && s.server.empty()) {
    if (!server.Start(error)) {
      std::fprintf(stderr, "rv450-provision-bench: %s\n", error.c_str());
      std::filesystem::remove_all(dirTemplate);
      return 1;
    }
    s.server = server.Url();
  }

  if (s.batch) {
    // The first is the measure of the others.
    struct Variant {
      std::string label;
      std::vector<std::string> args;
    };
    const bool provision = bench.HasProvision();
    std::vector<Variant> variants = {
        {"verify, no table, no journal", bench.VerifyArgs()},
        {provision ? "provision, " + std::to_string(s.tableRows) + "-row table, SQLite journal"
                   : "verify, SQLite journal (no provision in this build)",
         bench.ProvisionArgs(dirTemplate + std::string("/batch.sqlite"))}};
    if (!s.server.empty())
      variants.push_back({provision ? "provision, table, PostgreSQL journal" : "verify, PostgreSQL journal",
                          bench.ProvisionArgs(s.server)});
    std::string head = "| trackers", rule = "|---";
    for (std::size_t v = 0; v < variants.size(); ++v) {
      head += " | " + variants[v].label + (v ? " | ratio" : "");
      rule += v ? "|---|---" : "|---";
    }
    std::printf("%s |\n%s|\n", head.c_str(), rule.c_str());
    for (int count : s.counts) {
      std::vector<std::vector<double>> times(variants.size());
      for (int r = 0; r < s.runs && status == 0; ++r)
        for (std::size_t v = 0; v < variants.size() && status == 0; ++v) {
          times[v].push_back(bench.Batch(count, variants[v].args));
          if (times[v].back() < 0) status = 1;
        }
      if (status != 0) break;
      const double base = Median(times[0]);
      std::printf("| %d | %.3f s", count, base);
      for (std::size_t v = 1; v < variants.size(); ++v)
        std::printf(" | %.3f s | %.2fx", Median(times[v]), Median(times[v]) / base);
      std::printf(" |\n");
      std::fflush(stdout);
    }
    std::printf("\n(median of %d runs each; answers %d ms late, fast pacing)\n\n", s.runs, s.delayMs);
  }

  if (s.journal && status == 0) {
    const std::string path = std::string(dirTemplate) + "/million.sqlite";
    std::string imei;
    const double fill = SecondsOf([&] { return bench.FillJournal(path, imei); });
    if (fill < 0) status = 1;
    std::vector<double> times;
    std::size_t printed = 0;
    for (int q = 0; q < s.queries && status == 0; ++q) {
      times.push_back(SecondsOf([&] {
        return bench.Cli({"journal", "--imei", imei, "--journal", path}, &printed);
      }));
      if (times.back() < 0) status = 1;
    }
    if (status == 0) {
      std::printf("| journal rows | filled in | journal --imei (median of %d) | output |\n", s.queries);
      std::printf("|---|---|---|---|\n");
      std::printf("| %d | %.1f s | %.1f ms | %zu bytes |\n", s.journalRows, fill, Median(times) * 1000,
                  printed);
      std::printf("\nquery plan: %s\n", CBench::Plan(path).c_str());
    }
    // What a port-touching command adds at its start: the open alone, and
    // the open with the quick_check.
    std::vector<double> opens, checks;
    for (int q = 0; q < s.queries && status == 0; ++q) {
      for (const bool check : {false, true}) {
        (check ? checks : opens).push_back(SecondsOf([&] {
          journal::CJournal journal;
          std::string why;
          const bool ok = journal.Open(path, why) && (!check || journal.CheckIntegrity(why));
          if (!ok) std::fprintf(stderr, "rv450-provision-bench: %s\n", why.c_str());
          return ok;
        }));
        if ((check ? checks : opens).back() < 0) status = 1;
      }
    }
    if (status == 0) {
      std::printf("\n| journal rows | file | open (median of %d) | open + quick_check | added |\n",
                  s.queries);
      std::printf("|---|---|---|---|---|\n");
      std::printf("| %d | %.0f MB | %.1f ms | %.1f ms | %.1f ms |\n", s.journalRows,
                  static_cast<double>(std::filesystem::file_size(path)) / 1e6, Median(opens) * 1000,
                  Median(checks) * 1000, (Median(checks) - Median(opens)) * 1000);
    }
  }

  if (s.table && status == 0) {
    const std::string table = bench.BigTable();
    std::vector<double> times;
    for (int r = 0; r < s.runs && status == 0; ++r) {
      times.push_back(SecondsOf([&] { return bench.CheckTable(table); }));
      if (times.back() < 0) status = 1;
    }
    if (status == 0) {
      std::printf("\n| table rows | file | check before any port (median of %d) |\n", s.runs);
      std::printf("|---|---|---|\n");
      std::printf("| %d | %.1f MB | %.3f s |\n", s.checkRows,
                  static_cast<double>(std::filesystem::file_size(table)) / 1e6, Median(times));
    }
  }
  std::filesystem::remove_all(dirTemplate);
  return status;
}
