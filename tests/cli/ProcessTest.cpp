// The real rv450-cli binary as a script runs it: exit statuses, Ctrl+C
// (SIGINT) in the middle of a write, and SIGKILL in the middle of a batch.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "../support/SimSupport.h"
#include "../support/TestSupport.h"
#include "CliSupport.h"
#include "port/ComPort.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

// The program started in `workDir` with XDG_CONFIG_HOME set, so that it
// finds the simulators' ports folder, and XDG_DATA_HOME under `workDir` for
// the journal; its standard output and error are pipes.
class CProcess {
 public:
  CProcess(const std::string& workDir, const std::string& configHome, const std::vector<std::string>& args) {
    std::vector<std::string> argStore = {KESTRUN_CLI_BINARY};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string home = "XDG_CONFIG_HOME=" + configHome, path = "PATH=/usr/bin:/bin";
    std::string data = "XDG_DATA_HOME=" + workDir + "/data";
    char* envp[] = {home.data(), data.data(), path.data(), nullptr};
    int out[2], err[2];
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
    pid_ = ::fork();
    if (pid_ == 0) {  // only async-signal-safe calls until exec
      ::dup2(out[1], STDOUT_FILENO);
      ::dup2(err[1], STDERR_FILENO);
      if (::chdir(workDir.c_str()) != 0) ::_exit(127);
      ::execve(argv[0], argv.data(), envp);
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~CProcess() {
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
    ::close(out_);
    ::close(err_);
  }
  // Reads standard error until it holds `text`; false at its end.
  bool WaitForError(const std::string& text) {
    while (errText.find(text) == std::string::npos)
      if (!ReadSome(err_, errText)) return false;
    return true;
  }
  void Signal(int signal) { ::kill(pid_, signal); }
  // Collects the rest of both outputs and the exit status.
  int Wait() {
    while (ReadSome(out_, outText)) {
    }
    while (ReadSome(err_, errText)) {
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  std::string outText, errText;

 private:
  static bool ReadSome(int fd, std::string& text) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 120000) <= 0) return false;  // generous: the program ends long before
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    text.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
  bool waited_ = false;
};

class ProcessTest : public ::testing::Test {
 protected:
  std::string PortsDir() { return dir / "config/rv450-kestrun/ports"; }
  int Run(const std::vector<std::string>& args, std::string* out = nullptr, std::string* err = nullptr) {
    CProcess process(dir.path(), dir / "config", args);
    const int status = process.Wait();
    if (out) *out = process.outText;
    if (err) *err = process.errText;
    return status;
  }
  TempDir dir;
};

}  // namespace

TEST_F(ProcessTest, ExitStatusesTellAScriptWhatHappened) {
  auto sim = StartSimulator(PortsDir(), 71);
  std::filesystem::create_symlink(dir / "gone", PortsDir() + "/com72");  // an unplugged adapter
  WriteConfig(dir / "fleet.ini", FullValues());
  CFormValues edited = FullValues();
  edited.Text(ctl::Pin) = "9999";
  WriteConfig(dir / "edited.ini", edited);

  std::string out, err;
  EXPECT_EQ(Run({"--help"}, &out), 0);
  EXPECT_EQ(out.rfind("Usage: rv450-cli", 0), 0u);
  EXPECT_EQ(Run({"flash", "--port", "71"}, &out, &err), 2);
  EXPECT_EQ(out, "");
  EXPECT_NE(err.find("unknown command 'flash'"), std::string::npos);
  EXPECT_EQ(Run({"write", "fleet.ini", "--port", "99"}, nullptr, &err), 2);
  EXPECT_NE(err.find("COM71"), std::string::npos) << err;
  EXPECT_EQ(Run({"verify", "fleet.ini", "--port", "71", "--pacing", "fast", "-q"}, &out, &err), 0) << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(Run({"diff", "edited.ini", "--port", "71", "--pacing", "fast", "-q"}, &out), 1);
  EXPECT_NE(out.find("COM71 [RVPIN] PIN: file \"9999\" tracker \"1234\""), std::string::npos) << out;
  EXPECT_EQ(Run({"write", "fleet.ini", "--port", "72", "--pacing", "fast"}, &out), 3);
  sim->SetFault("AT+RVKPN=", sim::Fault::Error);
  EXPECT_EQ(Run({"write", "fleet.ini", "--port", "71", "--pacing", "fast", "-q"}, &out), 4);
  EXPECT_EQ(Run({"write", "fleet.ini", "--port", "71,72", "--pacing", "fast", "-q"}, &out), 4);  // worst wins
  EXPECT_NE(out.find("COM72 "), std::string::npos);
}

// Each run that talks to a tracker leaves a row in the program's own journal
// under XDG_DATA_HOME, unless told not to; a journal that cannot be opened
// stops the command before the port.
TEST_F(ProcessTest, VerifyAddsAJournalRowThatJournalLists) {
  auto sim = StartSimulator(PortsDir(), 74);
  WriteConfig(dir / "fleet.ini", FullValues());
  std::filesystem::create_directories(dir / "folder.sqlite");
  const struct {
    std::vector<std::string> args;
    int status;
    std::size_t rows;  // rows `journal --json` lists afterwards
    bool simTouched;
  } cases[] = {
      {{"verify", "fleet.ini", "--port", "74", "--pacing", "fast", "-q"}, 0, 1, true},
      {{"verify", "fleet.ini", "--port", "74", "--pacing", "fast", "-q", "--no-journal"}, 0, 1, true},
      {{"verify", "fleet.ini", "--port", "74", "--pacing", "fast", "--dry-run"}, 0, 1, false},
      {{"verify", "fleet.ini", "--port", "74", "--journal", dir / "folder.sqlite"}, 2, 1, false},
      {{"diff", "fleet.ini", "--port", "74", "--pacing", "fast", "-q"}, 0, 2, true},
  };
  for (const auto& c : cases) {
    sim->ClearReceived();
    std::string out, err;
    EXPECT_EQ(Run(c.args, &out, &err), c.status) << c.args.back() << err;
    EXPECT_EQ(sim->ReceivedLines().empty(), !c.simTouched) << c.args.back();
    ASSERT_EQ(Run({"journal", "--json"}, &out, &err), 0) << err;
    EXPECT_EQ(JsonLines(out).size(), c.rows) << c.args.back() << out;
  }
  // The rows themselves, their filters and members: JournalTest, JournalColumnsTest and CliTest.
  std::string out, err;
  ASSERT_EQ(Run({"journal", "--json"}, &out, &err), 0) << err;
  const std::vector<Json> rows = JsonLines(out);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["command"].string, "diff");  // newest first
  EXPECT_EQ(rows[1]["command"].string, "verify");
  EXPECT_EQ(rows[1]["port"].string, "COM74");
  EXPECT_EQ(rows[1]["imei"].string, sim::SimImei(74));  // asked right after the wake-up
  ASSERT_EQ(Run({"journal", "devices", "--csv"}, &out), 0);
  EXPECT_EQ(
      out.rfind("imei,iccid,firmware,time,outcome,settingsHash,station,port,rowKey,lastVerified\n" + sim::SimImei(74) + ",", 0),
      0u)
      << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2);  // one line per IMEI
}

TEST_F(ProcessTest, CtrlCStopsTheWriteClosesThePortAndExits130) {
  auto sim = StartSimulator(PortsDir(), 73);
  sim->SetAnswerDelay(150);  // long enough that the write is still running when the signal comes
  WriteConfig(dir / "fleet.ini", FullValues());
  CProcess process(dir.path(), dir / "config", {"write", "fleet.ini", "--port", "73", "--pacing", "fast"});
  ASSERT_TRUE(process.WaitForError("Sending AT+RVBEI")) << process.errText;
  process.Signal(SIGINT);
  EXPECT_EQ(process.Wait(), 130) << process.errText;
  EXPECT_NE(process.outText.find("COM73 write: stopped"), std::string::npos) << process.outText;
  EXPECT_NE(process.errText.find("stopping every port"), std::string::npos);
  const auto received = sim->ReceivedLines();
  EXPECT_EQ(std::count(received.begin(), received.end(), "AT+CSCLK=1"), 0);
  EXPECT_EQ(std::count_if(received.begin(), received.end(),
                          [](const std::string& l) { return l.rfind("AT+RVPIN=", 0) == 0; }),
            0);
  CComPort again({.number = 73, .discovery = OnlyPortsFolder(PortsDir())});
  EXPECT_TRUE(again.Open()) << again.openFailureReason();
}

// A batch killed outright (SIGKILL) keeps a sound journal that holds the row
// of every tracker that had finished. Three trackers finish; the fourth is
// held at its first settings line (its simulator answers no more) and the
// program is killed there, with that tracker in flight.
TEST_F(ProcessTest, KillNineMidBatchKeepsASoundJournalWithEveryFinishedTracker) {
  WriteConfig(dir / "fleet.ini", FullValues());
  std::mutex mutex;
  std::condition_variable changed;
  bool held = false, released = false;
  std::vector<std::unique_ptr<sim::CTrackerSim>> sims;
  for (int port = 80; port < 84; ++port) {
    sim::SimOptions options;
    options.portsDir = PortsDir();
    options.comNumber = port;
    if (port == 83)
      options.log = [&](const std::string& text) {
        if (text.rfind("<-- AT+RV", 0) != 0 || text.size() < 13 || text[12] != '=') return;
        std::unique_lock<std::mutex> lock(mutex);
        held = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
      };
    sims.push_back(std::make_unique<sim::CTrackerSim>(options));
    std::string error;
    ASSERT_TRUE(sims.back()->Start(error)) << error;
  }
  // Lets the held simulator go on whatever happens below, before it is stopped.
  const std::shared_ptr<void> release(nullptr, [&](void*) {
    std::lock_guard<std::mutex> lock(mutex);
    released = true;
    changed.notify_all();
  });

  CProcess process(dir.path(), dir / "config",
                   {"verify", "fleet.ini", "--port", "80,81,82,83", "--pacing", "fast"});
  for (const char* done : {"COM80: done: equal", "COM81: done: equal", "COM82: done: equal"})
    ASSERT_TRUE(process.WaitForError(done)) << process.errText;
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::minutes(2), [&] { return held; }));
  }
  process.Signal(SIGKILL);
  EXPECT_EQ(process.Wait(), 128 + SIGKILL);
  EXPECT_EQ(process.outText, "");  // killed before any result was printed

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2((dir / "data/rv450-kestrun/journal.sqlite").c_str(), &db, SQLITE_OPEN_READWRITE,
                            nullptr),
            SQLITE_OK);
  std::vector<std::string> answers;
  auto collect = [](void* into, int, char** values, char**) {
    static_cast<std::vector<std::string>*>(into)->push_back(std::string(values[0]) + " " + values[1]);
    return 0;
  };
  ASSERT_EQ(sqlite3_exec(
                db, "PRAGMA integrity_check",
                [](void* into, int, char** values, char**) {
                  static_cast<std::vector<std::string>*>(into)->push_back(values[0]);
                  return 0;
                },
                &answers, nullptr),
            SQLITE_OK);
  EXPECT_EQ(answers, std::vector<std::string>{"ok"});
  answers.clear();
  ASSERT_EQ(sqlite3_exec(db, "SELECT port, outcome FROM journal ORDER BY port", collect, &answers, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  EXPECT_EQ(answers, (std::vector<std::string>{"COM80 equal", "COM81 equal", "COM82 equal"}));
}
