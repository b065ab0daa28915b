// The Journal tab without its widgets: with a shared journal on a throwaway
// PostgreSQL server the rows are every station's while it answers and this
// station's alone, with a warning, once it does not; "failed (still)" keeps
// the trackers whose latest row failed. The server is read on the reader's
// thread; the test waits for its result as the window does, through `wake`.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "../support/PgServer.h"
#include "../support/TestFiles.h"
#include "journal/ServerJournal.h"
#include "window/JournalTabReader.h"
#include "window/LabelRows.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

journal::JournalRow Row(const std::string& imei, const std::string& second, const std::string& outcome,
                        const std::string& station) {
  journal::JournalRow r;
  r.id = journal::NewRowId();
  r.imei = imei;
  r.time = "2026-12-01T08:00:" + second + "Z";
  r.command = "provision";
  r.outcome = outcome;
  r.exitCode = outcome == "ok" ? 0 : 4;
  r.station = station;
  return r;
}

// The shared journal's rows: this station's ("here") and another's. A failed
// at 03 after its ok; B failed at 02 and was done again at 04; C failed at 05.
const std::vector<journal::JournalRow> kShared = {
    Row("A", "01", "ok", "here"), Row("B", "02", "tracker-failed", "there"),
    Row("A", "03", "tracker-failed", "here"), Row("B", "04", "ok", "there"),
    Row("C", "05", "tracker-failed", "there")};

// This station's own journal at `path`: its rows above, and D, which failed
// and has not reached the server yet.
void WriteLocalJournal(const std::string& path) {
  journal::CJournal local;
  std::string error;
  ASSERT_TRUE(local.Open(path, error)) << error;
  for (journal::JournalRow row : {kShared[0], kShared[2], Row("D", "06", "tracker-failed", "here")})
    ASSERT_TRUE(local.Append(row, error)) << error;
}

// Reads through a CJournalTabReader as the window does: the result once no
// read is under way (a journal file's is there at once). Counts the wakes.
struct CReaderWait {
  CReaderWait() {
    reader.wake = [this] { ++wakes; };
  }
  JournalTabResult Read(const JournalTabRequest& request) {
    reader.Read(request);
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
         reader.Reading() && std::chrono::steady_clock::now() < until;)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    auto result = reader.Take();
    EXPECT_TRUE(result.has_value());
    return result.value_or(JournalTabResult());
  }
  std::atomic<int> wakes = 0;
  CJournalTabReader reader;  // last: joined before what its wake uses goes
};

std::string Imeis(const JournalTabResult& result) {
  std::string imeis;
  for (const journal::JournalRow& row : result.listing.rows) imeis += row.imei;
  return imeis;
}

TEST(JournalTabTest, TheServerWhileItAnswersElseThisStationsRowsWithAWarning) {
  test::CPgServer pg;
  if (!pg.Missing().empty()) GTEST_SKIP() << pg.Missing();
  TempDir dir;
  const std::string outbox = dir / "outbox.sqlite";  // also the journal of a station without a shared one
  WriteLocalJournal(outbox);
  std::string error;
  ASSERT_TRUE(pg.Start(error)) << error;
  {
    journal::CServerJournal server;
    ASSERT_TRUE(server.Connect(pg.Url(), error)) << error;
    for (const journal::JournalRow& row : kShared) ASSERT_TRUE(server.Insert({row}, error)) << error;
  }
  const std::string url = pg.Url("s3cret");

  enum Target { Server, File, ServerDown };  // in this order: the server is stopped for the last
  const char* shared = "Shared journal postgresql://kestrun:";
  const struct {
    Target target;
    const char* imei;
    const char* outcome;
    const char* rows;    // the IMEIs of the rows listed, newest first
    const char* source;  // the start of the source line; the warning's when the server is down
  } cases[] = {
      {Server, "", "", "CBABA", shared},
      {Server, "", kFailedStill, "CA", shared},
      {Server, "B", "tracker-failed", "B", shared},
      {File, "", kFailedStill, "DA", "Journal /"},
      {ServerDown, "", kFailedStill, "DA", "Warning: the shared journal postgresql://kestrun:"},
  };
  CReaderWait wait;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(&c - cases));
    if (c.target == ServerDown) {
      ASSERT_TRUE(pg.Stop(error)) << error;
    }
    const int wakesBefore = wait.wakes;
    const JournalTabResult got = wait.Read({c.target == File ? outbox : url, outbox, {c.imei, c.outcome}, 0});
    ASSERT_TRUE(got.ok) << got.error;
    EXPECT_EQ(Imeis(got), c.rows);
    const std::string said = got.warning.empty() ? got.source : got.warning;
    EXPECT_EQ(said.rfind(c.source, 0), 0u) << said;
    EXPECT_EQ(said.find("s3cret"), std::string::npos) << said;  // the password is masked
    // A server is read on the worker, which says so; a file at once.
    EXPECT_EQ(wait.wakes > wakesBefore, c.target != File);
    if (c.target == Server) {
      EXPECT_TRUE(got.warning.empty()) << got.warning;
      // The station's rows the server lacks: all three of its outbox's, none sent by push.
      EXPECT_NE(got.source.find("(3 rows of this station are not on it yet)"), std::string::npos)
          << got.source;
    }
    if (c.target == ServerDown) {
      EXPECT_NE(got.warning.find(outbox), std::string::npos) << got.warning;
    }
  }
}

TEST(JournalTabTest, ANewerReadReplacesTheResultOfOneUnderWay) {
  TempDir dir;
  const std::string file = dir / "journal.sqlite";
  WriteLocalJournal(file);
  // A server that takes the connection and never answers: its read lasts until the connect timeout.
  const std::string socketPath = dir / ".s.PGSQL.5432";
  const int silent = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(silent, 4), 0);
  CReaderWait wait;
  wait.reader.Read({"postgresql://kestrun@/kestrun?host=" + dir.path(), file, {"", ""}, 0});
  EXPECT_TRUE(wait.reader.Reading());
  // The worker's connection waits on the socket: its read is under way.
  pollfd pending{silent, POLLIN, 0};
  ASSERT_EQ(::poll(&pending, 1, 30000), 1);
  const JournalTabResult fileResult = wait.Read({file, file, {"D", ""}, 0});
  // The file's result is the one taken; the server read's, ending later, is dropped unsaid.
  EXPECT_EQ(Imeis(fileResult), "D");
  EXPECT_FALSE(wait.reader.Reading());
  EXPECT_FALSE(wait.reader.Take().has_value());
  EXPECT_EQ(wait.wakes, 0);
  ::close(silent);
  // A limit says that more exist.
  const JournalTabResult limited = wait.Read({file, file, {"", ""}, 2});
  EXPECT_EQ(Imeis(limited), "DA");
  EXPECT_FALSE(limited.more.empty());
}

ProvisioningRow Port(int com, const std::string& imei) {
  ProvisioningRow row;
  row.port = com;
  row.imei = imei;
  row.iccid = imei.empty() ? "" : "8949" + imei;
  row.firmware = "V2.1";
  return row;
}

TEST(LabelRowsTest, SelectedRowsOrTheBatchAndWhatGetsNoLabel) {
  // COM1 and COM4 hold the same tracker (moved from one port to the other).
  const std::vector<ProvisioningRow> rows = {Port(1, "A"), Port(2, ""), Port(3, "B"), Port(4, "A")};
  const struct {
    std::vector<std::size_t> selected;
    const char* imeis;
    const char* note;
  } cases[] = {
      {{}, "AB", ""},
      {{2, 0, 2}, "AB", ""},  // a row's cells selected one by one: one label
      {{3}, "A", ""},
      {{1, 2}, "B", "COM2: no IMEI yet, so no label"},
      {{1}, "", "The selected rows have no IMEI yet: Identify or Provision them first"},
      {{9}, "", "The selected rows have no IMEI yet: Identify or Provision them first"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(&c - cases));
    const LabelChoice choice = LabelsForRows(rows, c.selected, "2026-12-08");
    std::string imeis;
    for (const batch::LabelRecord& label : choice.labels) {
      imeis += label.imei;
      EXPECT_EQ(label.iccid, "8949" + label.imei);
      EXPECT_EQ(label.date, "2026-12-08");
    }
    EXPECT_EQ(imeis, c.imeis);
    EXPECT_EQ(choice.note, c.note);
  }
}

}  // namespace
