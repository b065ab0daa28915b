// The Journal tab without its widgets: what it adds to a listing (which rows
// a listing holds, and the shared journal's fallback, are JournalListingTest's):
// its filter handed on ("failed (still)": the trackers whose latest row
// failed), the words saying where the rows came from, and its reader: a file
// read at once, a server on the reader's thread (which wakes the window), a
// newer read replacing the result of one under way. The test waits for a
// result as the window does, through `wake`.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "../support/JournalRows.h"
#include "../support/PgServer.h"
#include "../support/TestFiles.h"
#include "journal/ServerJournal.h"
#include "window/JournalTabReader.h"
#include "window/LabelRows.h"

using namespace kestrun;
using namespace kestrun::testing;
using test::JournalTestRow;

namespace {

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

TEST(JournalTabTest, TheFilterTheWordsAndTheNewestRead) {
  TempDir dir;
  // This station's journal, also its outbox with a shared journal. A failed at 3
  // after its ok at 1; B failed at 2 and was done again at 4; C failed at 5.
  const std::string file = dir / "journal.sqlite";
  std::string error;
  journal::CJournal local;
  ASSERT_TRUE(local.Open(file, error)) << error;
  for (journal::JournalRow row :
       {JournalTestRow("A", "01", "ok"), JournalTestRow("B", "02", "tracker-failed"),
        JournalTestRow("A", "03", "tracker-failed"), JournalTestRow("B", "04", "ok"),
        JournalTestRow("C", "05", "tracker-failed")})
    ASSERT_TRUE(local.Append(row, error)) << error;
  const std::string away = "postgresql://kestrun:s3cret@/kestrun?host=" + (dir / "none");
  const struct {
    std::string target;
    JournalTabFilter filter;
    int limit;
    const char* rows;  // the IMEIs of the rows listed, newest first
    std::string said;  // the source line, or the start of the warning when there is one
  } cases[] = {
      {file, {"", kFailedStill}, 0, "CA", "Journal " + file},
      {file, {"B", "tracker-failed"}, 0, "B", "Journal " + file},
      {file, {"", ""}, 2, "CB", "Journal " + file},
      {away, {"", ""}, 0, "CBABA", "Warning: the shared journal postgresql://kestrun:***@"},
  };
  CReaderWait wait;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.said);
    const int wakesBefore = wait.wakes;
    const JournalTabResult got = wait.Read({c.target, file, c.filter, c.limit});
    ASSERT_TRUE(got.ok) << got.error;
    EXPECT_EQ(Imeis(got), c.rows);
    EXPECT_EQ(got.warning.empty() ? got.source : got.warning.substr(0, c.said.size()), c.said);
    EXPECT_EQ(
        got.more,
        c.limit ? "The newest 2 rows are shown and more exist: an IMEI or an outcome narrows the list" : "");
    // A server is read on the worker, which says so; a file at once.
    EXPECT_EQ(wait.wakes > wakesBefore, c.target == away);
  }

  // A server that takes the connection and never answers: its read lasts until the connect timeout.
  const std::string socketPath = dir / ".s.PGSQL.5432";
  const int silent = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(silent, 4), 0);
  const int wakesBefore = wait.wakes;
  wait.reader.Read({"postgresql://kestrun@/kestrun?host=" + dir.path(), file, {"", ""}, 0});
  EXPECT_TRUE(wait.reader.Reading());
  // The worker's connection waits on the socket: its read is under way.
  pollfd pending{silent, POLLIN, 0};
  ASSERT_EQ(::poll(&pending, 1, 30000), 1);
  // The file's result is the one taken; the server read's, ending later, is dropped unsaid.
  EXPECT_EQ(Imeis(wait.Read({file, file, {"C", ""}, 0})), "C");
  EXPECT_FALSE(wait.reader.Reading());
  EXPECT_FALSE(wait.reader.Take().has_value());
  EXPECT_EQ(wait.wakes, wakesBefore);
  ::close(silent);

  // A shared journal that answers: its rows, and the station's rows it lacks yet.
  test::CPgServer pg;
  if (!pg.Missing().empty()) GTEST_SKIP() << pg.Missing();
  ASSERT_TRUE(pg.Start(error)) << error;
  journal::CServerJournal server;
  ASSERT_TRUE(server.Connect(pg.Url(), error) && server.Insert({JournalTestRow("S", "06", "ok")}, error))
      << error;
  const JournalTabResult shared = wait.Read({pg.Url("s3cret"), file, {"", ""}, 0});
  EXPECT_EQ(Imeis(shared), "S");
  EXPECT_EQ(shared.source, "Shared journal " + journal::MaskedUrl(pg.Url("s3cret")) +
                               ": every station's rows (5 rows of this station are not on it yet)");
  EXPECT_EQ(shared.warning, "");
  EXPECT_EQ(wait.wakes, wakesBefore + 1);
}

TEST(LabelRowsTest, SelectedRowsOrTheBatchAndWhatGetsNoLabel) {
  // COM1 and COM4 hold the same tracker A (moved from one port to the other); COM2's told no IMEI yet.
  std::vector<ProvisioningRow> rows;
  for (const char* imei : {"A", "", "B", "A", "C"}) {
    ProvisioningRow& row = rows.emplace_back();
    row.port = static_cast<int>(rows.size()), row.imei = imei;
    row.iccid = "8949" + row.imei, row.firmware = "V2";
  }
  const struct {
    std::vector<std::size_t> selected;
    const char* imeis;
    const char* note;
  } cases[] = {
      {{}, "ABC", ""},
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
      EXPECT_EQ(label.iccid + label.firmware + label.date, "8949" + label.imei + "V22026-12-08");
    }
    EXPECT_EQ(imeis, c.imeis);
    EXPECT_EQ(choice.note, c.note);
    EXPECT_EQ(choice.batch, c.selected.empty());
  }
  EXPECT_EQ(LabelsForRows({rows[1]}, {}, "2026-12-08").note,
            "No tracker has told its IMEI yet: Identify or Provision them first");
}

}  // namespace
