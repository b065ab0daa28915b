#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "journal/Journal.h"
#include "journal/Sha256.h"

namespace kestrun::journal {
namespace {

namespace fs = std::filesystem;

TEST(Sha256Test, StandardVectors) {
  const struct {
    std::string input, hex;
  } rows[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& row : rows) EXPECT_EQ(Sha256Hex(row.input), row.hex) << row.input.size();
}

JournalRow Row(std::string imei, std::string time, std::string outcome, std::string hash = "") {
  JournalRow r;
  r.imei = std::move(imei);
  r.time = std::move(time);
  r.outcome = std::move(outcome);
  r.settingsHash = std::move(hash);
  r.command = "verify";
  r.port = "COM5";
  r.station = "bench-" + r.imei;
  return r;
}

// Rows go in, the database is opened again, and every query sees them.
TEST(JournalTest, AppendReopenAndQuery) {
  const fs::path dir = fs::path(testing::TempDir()) / ("journal-test-" + std::to_string(::getpid())) / "new";
  fs::remove_all(dir.parent_path());
  const std::string path = (dir / "journal.sqlite").string();
  std::vector<JournalRow> appended = {
      Row("351756051523999", "2026-11-30T23:59:00Z", "ok", "h1"),
      Row("351756051523999", "2026-12-01T08:00:00Z", "tracker-failed"),
      Row("862104055512345", "2026-12-01T09:30:00Z", "ok", "h2"),
      Row("", "2026-12-02T10:00:00Z", "port-not-opened"),
      Row("", "2026-12-03T10:00:00Z", "different"),
      Row("", "2026-12-03T11:00:00Z", "different"),
  };
  appended[1].exitCode = 4;
  appended[3].exitCode = 3;
  appended[4].exitCode = appended[5].exitCode = 1;
  appended[4].command = "diff";  // its differences are its result, no failure
  {
    CJournal journal;
    std::string error;
    ASSERT_TRUE(journal.Open(path, error)) << error;
    for (JournalRow& row : appended) ASSERT_TRUE(journal.Append(row, error)) << error;
  }
  CJournal journal;
  std::string error;
  ASSERT_TRUE(journal.Open(path, error)) << error;
  const struct {
    JournalQuery query;
    std::vector<std::size_t> rows;  // indices into `appended`, newest first
  } cases[] = {
      {{}, {5, 4, 3, 2, 1, 0}},
      {{"351756051523999", "", "", 0}, {1, 0}},
      {{"", "2026-12-01T00:00:00Z", "", 0}, {5, 4, 3, 2, 1}},
      {{"", "2026-12-01T08:00:00Z", "ok", 0}, {2}},
      {{"", "", "ok", 0}, {2, 0}},
      {{"", "", "", 2}, {5, 4}},
      {{"000000000000000", "", "", 0}, {}},
      {{"", "", "", 0, true}, {5, 3, 1}},  // failed: status 3 and up, differences after a write
  };
  for (const auto& c : cases) {
    std::vector<JournalRow> rows;
    ASSERT_TRUE(journal.Rows(c.query, rows, error)) << error;
    ASSERT_EQ(rows.size(), c.rows.size()) << c.query.imei << c.query.since << c.query.outcome;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const JournalRow& want = appended[c.rows[i]];
      EXPECT_EQ(rows[i].id, want.id);
      EXPECT_EQ(rows[i].time, want.time);
      EXPECT_EQ(rows[i].outcome, want.outcome);
      EXPECT_FALSE(rows[i].sent);
    }
  }
  // Ids are made on the station and differ row by row.
  EXPECT_EQ(appended[0].id.size(), 36u);
  EXPECT_NE(appended[0].id, appended[1].id);

  std::vector<DeviceLine> devices;
  ASSERT_TRUE(journal.Devices(devices, error)) << error;
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].imei, "351756051523999");
  EXPECT_EQ(devices[0].time, appended[1].time);
  EXPECT_EQ(devices[0].outcome, "tracker-failed");
  EXPECT_EQ(devices[1].imei, "862104055512345");
  EXPECT_EQ(devices[1].settingsHash, "h2");
}

TEST(JournalTest, UnusablePathsAreRefused) {
  const fs::path dir = fs::path(testing::TempDir()) / ("journal-refused-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "folder.sqlite");
  const std::string paths[] = {(dir / "folder.sqlite").string(), "/proc/no-such-folder/journal.sqlite", ""};
  for (const std::string& path : paths) {
    CJournal journal;
    std::string error;
    EXPECT_FALSE(journal.Open(path, error)) << path;
    EXPECT_FALSE(error.empty()) << path;
  }
}

TEST(JournalTest, ADamagedFileOpensButFailsItsCheckNamingTheFile) {
  const fs::path dir = fs::path(testing::TempDir()) / ("journal-damaged-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  const std::string path = (dir / "journal.sqlite").string();
  std::string error;
  {
    CJournal journal;
    ASSERT_TRUE(journal.Open(path, error)) << error;
    for (int i = 0; i < 200; ++i) {
      JournalRow row;
      row.imei = "862104055512345";
      row.message = std::string(200, static_cast<char>('a' + i % 26));
      ASSERT_TRUE(journal.Append(row, error)) << error;
    }
    EXPECT_TRUE(journal.CheckIntegrity(error)) << error;
  }
  // The header page stays; pages further on are overwritten.
  ASSERT_GT(fs::file_size(path), 8 * 4096u);
  {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(4 * 4096);
    const std::string garbage(3 * 4096, '\x5a');
    file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
  }
  {
    CJournal journal;  // closed before the folder goes: Windows removes no open file
    ASSERT_TRUE(journal.Open(path, error)) << error;
    error.clear();
    EXPECT_FALSE(journal.CheckIntegrity(error));
    EXPECT_EQ(error.rfind(path + ": the journal file is damaged (", 0), 0u) << error;
    EXPECT_NE(error.find("move it aside (mv '" + path + "' '" + path + ".damaged')"), std::string::npos)
        << error;
  }
  fs::remove_all(dir);
}

TEST(JournalTest, SettingsHashIgnoresOrderButNotValues) {
  const std::vector<std::string> base = {"RVSRI/APN=internet", "RVBEI/Port=5000", "RVPIN/PIN=1234"};
  const std::string hash = SettingsHash(base);
  const struct {
    std::vector<std::string> lines;
    bool same;
  } rows[] = {
      {{"RVPIN/PIN=1234", "RVSRI/APN=internet", "RVBEI/Port=5000"}, true},
      {{"RVBEI/Port=5000", "RVPIN/PIN=1234", "RVSRI/APN=internet"}, true},
      {{"RVSRI/APN=internet", "RVBEI/Port=5001", "RVPIN/PIN=1234"}, false},
      {{"RVSRI/APN=internet", "RVBEI/Port=5000"}, false},
  };
  for (const auto& row : rows) EXPECT_EQ(SettingsHash(row.lines) == hash, row.same) << row.lines[1];
  EXPECT_EQ(hash.size(), 64u);
}

TEST(JournalTest, SinceTakesADayOrAMinute) {
  const struct {
    const char* text;
    const char* utc;  // nullptr: refused
  } rows[] = {{"2026-12-01", "2026-12-01T00:00:00Z"},
              {"2026-12-01T08:00", "2026-12-01T08:00:00Z"},
              {"2026-13-01", nullptr},
              {"2026-12-01T24:00", nullptr},
              {"2026-12-01 08:00", nullptr},
              {"yesterday", nullptr}};
  for (const auto& row : rows) {
    std::string utc;
    EXPECT_EQ(ParseSince(row.text, utc), row.utc != nullptr) << row.text;
    if (row.utc) {
      EXPECT_EQ(utc, row.utc);
    }
  }
}

// Rows are dealt in order, a tracker gets its own row back, and a second
// journal handle (another program) never gets a row that is held.
TEST(JournalTest, ClaimsDealEachRowOnce) {
  const fs::path dir = fs::path(testing::TempDir()) / ("journal-claims-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  const std::string path = (dir / "journal.sqlite").string();
  const std::vector<std::string> rows = {RowClaimId("fleet.csv", "a"), RowClaimId("fleet.csv", "b")};
  CJournal first, second;
  std::string error;
  ASSERT_TRUE(first.Open(path, error)) << error;
  ASSERT_TRUE(second.Open(path, error)) << error;
  const struct {
    CJournal* journal;
    std::string imei;
    int index;
  } steps[] = {{&first, "A", 0}, {&second, "B", 1}, {&first, "C", -1}, {&second, "A", 0}, {&first, "B", 1}};
  for (const auto& step : steps) {
    int index = 7;
    ASSERT_TRUE(step.journal->Claim("fleet.csv", rows, step.imei, index, error)) << error;
    EXPECT_EQ(index, step.index) << step.imei;
  }
  // Another table's rows are dealt apart; an edited row is a new row.
  int index = 7;
  ASSERT_TRUE(first.Claim("other.csv", {RowClaimId("other.csv", "a")}, "B", index, error)) << error;
  EXPECT_EQ(index, 0);
  ASSERT_TRUE(first.Claim("fleet.csv", {RowClaimId("fleet.csv", "a2"), rows[1]}, "A", index, error)) << error;
  EXPECT_EQ(index, 0);
}

// Identical rows are dealt one each; the first of them keeps the id stored
// before occurrences counted, so claims already made keep their rows.
TEST(JournalTest, IdenticalRowsAreDealtOneEach) {
  const std::vector<std::string> tables[] = {{"1234", "1234", "5678"}, {"a;b", "x", "a;b", "a;b"}};
  for (std::size_t t = 0; t < std::size(tables); ++t) {
    const std::vector<std::string>& cells = tables[t];
    const std::vector<std::string> ids = RowClaimIds("fleet.csv", cells);
    for (std::size_t i = 0; i < cells.size(); ++i)
      if (std::find(cells.begin(), cells.end(), cells[i]) - cells.begin() == static_cast<long>(i)) {
        EXPECT_EQ(ids[i], Sha256Hex("fleet.csv\n" + cells[i])) << cells[i];
      }
    CJournal journal;
    std::string error;
    const fs::path dir = fs::path(testing::TempDir()) / ("journal-same-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    ASSERT_TRUE(journal.Open((dir / (std::to_string(t) + ".sqlite")).string(), error)) << error;
    std::set<int> dealt;
    for (std::size_t i = 0; i <= cells.size(); ++i) {
      int index = 7;
      ASSERT_TRUE(journal.Claim("fleet.csv", ids, "T" + std::to_string(i), index, error)) << error;
      EXPECT_TRUE(i < cells.size() ? index >= 0 && dealt.insert(index).second : index == -1) << i;
    }
  }
}

}  // namespace
}  // namespace kestrun::journal
