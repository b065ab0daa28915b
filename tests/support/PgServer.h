// A throwaway PostgreSQL server for tests and the journal benchmark: a
// cluster made with initdb in a temporary folder, started with pg_ctl, that
// listens on a Unix socket in that folder only (no TCP port), reached as
// postgresql://kestrun@/kestrun?host=FOLDER. When run as root the server runs
// as an unprivileged account (postgres, else nobody) through runuser, the
// folder given to it. Never the system's own service.
#pragma once

#include <fcntl.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kestrun::test {

class CPgServer {
 public:
  // `fsync` false: the server does not wait for its disk (quicker tests; the
  // data of a throwaway server need not survive a power cut).
  explicit CPgServer(bool fsync = false) : fsync_(fsync) { bin_ = FindBin(); }
  ~CPgServer() {
    if (running_) Run({bin_ + "/pg_ctl", "-D", Data(), "-m", "immediate", "-w", "stop"}, true);
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  CPgServer(const CPgServer&) = delete;
  CPgServer& operator=(const CPgServer&) = delete;

  // Why no server can be made here (the PostgreSQL binaries are missing); empty when one can.
  std::string Missing() const {
    return bin_.empty() ? "the PostgreSQL server binaries (initdb, pg_ctl) are not installed "
                          "(/usr/lib/postgresql/*/bin; Debian's postgresql package)"
                        : "";
  }

  // Makes the cluster on the first call, then starts the server and waits until it answers.
  bool Start(std::string& error) {
    if (!Missing().empty()) {
      error = Missing();
      return false;
    }
    const bool first = dir_.empty();
    if (first && !MakeCluster(error)) return false;
    std::string options = "-k " + dir_ + " -h ''";
    if (!fsync_) options += " -F";
    if (Run({bin_ + "/pg_ctl", "-D", Data(), "-l", dir_ + "/server.log", "-o", options, "-W", "start"},
            true) != 0) {
      error = "pg_ctl start failed: " + Log();
      return false;
    }
    running_ = true;
    // Waits for the condition itself: pg_isready answers 0 once connections are accepted.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Run({bin_ + "/pg_isready", "-q", "-h", dir_, "-U", "kestrun", "-d", "postgres"}, false) != 0) {
      if (std::chrono::steady_clock::now() > until) {
        error = "the server did not answer within 60 s: " + Log();
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (first && Run({bin_ + "/createdb", "-h", dir_, "-U", "kestrun", "kestrun"}, false) != 0) {
      error = "createdb failed: " + Log();
      return false;
    }
    return true;
  }

  // Stops the server, closing every connection ("fast" shutdown), and waits until it is down.
  bool Stop(std::string& error) {
    if (Run({bin_ + "/pg_ctl", "-D", Data(), "-m", "fast", "-w", "stop"}, true) != 0) {
      error = "pg_ctl stop failed: " + Log();
      return false;
    }
    running_ = false;
    return true;
  }

  // The server's URL; `password` (ignored by the server, which trusts its
  // socket) lets a test see that it is never shown.
  std::string Url(const std::string& password = "") const {
    return "postgresql://kestrun" + (password.empty() ? "" : ":" + password) + "@/kestrun?host=" + dir_;
  }

  // The first column of a query's rows.
  bool Query(const std::string& sql, std::vector<std::string>& column, std::string& error) const {
    column.clear();
    PGconn* conn = PQconnectdb(Url().c_str());
    bool ok = PQstatus(conn) == CONNECTION_OK;
    if (ok) {
      PGresult* result = PQexec(conn, sql.c_str());
      ok = PQresultStatus(result) == PGRES_TUPLES_OK;
      for (int i = 0; ok && i < PQntuples(result); ++i) column.push_back(PQgetvalue(result, i, 0));
      PQclear(result);
    }
    if (!ok) error = PQerrorMessage(conn);
    PQfinish(conn);
    return ok;
  }

 private:
  static std::string FindBin() {
    std::string best;
    int bestVersion = 0;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ignored)) {
      const int version = std::atoi(entry.path().filename().c_str());
      const std::string bin = entry.path().string() + "/bin";
      if (version > bestVersion && ::access((bin + "/initdb").c_str(), X_OK) == 0 &&
          ::access((bin + "/pg_ctl").c_str(), X_OK) == 0) {
        best = bin;
        bestVersion = version;
      }
    }
    return best;
  }

  std::string Data() const { return dir_ + "/data"; }

  std::string Log() const {
    std::ostringstream text;
    for (const char* name : {"/commands.log", "/server.log"}) {
      std::ifstream in(dir_ + name);
      text << in.rdbuf();
    }
    return text.str();
  }

  bool MakeCluster(std::string& error) {
    // Short, under /tmp: a socket's path must fit in 107 bytes.
    char folder[] = "/tmp/rv450-pg-XXXXXX";
    if (!::mkdtemp(folder)) {
      error = "cannot make a temporary folder";
      return false;
    }
    dir_ = folder;
    ::chmod(folder, 0755);
    if (::geteuid() == 0) {
      // The server refuses to run as root: its folder goes to an ordinary account.
      const passwd* account = ::getpwnam("postgres");
      if (!account) account = ::getpwnam("nobody");
      if (!account) {
        error = "running as root, and neither the postgres nor the nobody account exists";
        return false;
      }
      owner_ = account->pw_name;
      if (::chown(folder, account->pw_uid, account->pw_gid) != 0) {
        error = "cannot give " + dir_ + " to " + owner_;
        return false;
      }
    }
    if (Run({bin_ + "/initdb", "-D", Data(), "-U", "kestrun", "--auth=trust", "-E", "UTF8", "--locale=C",
             "-N"},
            true) != 0) {
      error = "initdb failed: " + Log();
      return false;
    }
    return true;
  }

  // Runs a program to its end, its output in commands.log; `asOwner`: as the
  // server's account (when running as root). The exit status, or -1.
  int Run(std::vector<std::string> argv, bool asOwner) const {
    if (asOwner && !owner_.empty()) argv.insert(argv.begin(), {"runuser", "-u", owner_, "--"});
    std::vector<char*> args;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = dir_ + "/commands.log";
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
      if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  bool fsync_;
  std::string bin_, dir_, owner_;
  bool running_ = false;
};

}  // namespace kestrun::test
