#include "port/Console.h"

#include <pthread.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace kestrun {

namespace {

// SIGUSR2 only tells the watcher to end; it is blocked like the others.
sigset_t WatchedSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGUSR2);
  return set;
}

void WriteError(const char* text) {
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text, std::strlen(text));
}

}  // namespace

bool InputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }
bool OutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }
bool ErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

const char* ErrorTerminalKind() { return std::getenv("TERM"); }

int ErrorTerminalWidth() {
  winsize size{};
  return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

struct CEchoOff::Saved {
  termios mode{};
};

CEchoOff::CEchoOff() : saved_(std::make_unique<Saved>()) {
  active_ = ::tcgetattr(STDIN_FILENO, &saved_->mode) == 0;
  if (!active_) return;
  termios quiet = saved_->mode;
  quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
  active_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
}

CEchoOff::~CEchoOff() { Restore(); }

void CEchoOff::Restore() const {
  if (active_) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_->mode);
}

void CStopWatch::Prepare() {
  const sigset_t set = WatchedSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

CStopWatch::CStopWatch(std::function<void()> onFirst, const char* firstText, const char* againText)
    : onFirst_(std::move(onFirst)), firstText_(firstText), againText_(againText) {
  Prepare();
  watcher_ = std::thread([this] {
    const sigset_t set = WatchedSignals();
    bool stopping = false;
    while (true) {
      int signal = 0;
      if (sigwait(&set, &signal) != 0) continue;
      if (signal == SIGUSR2) return;
      if (stopping) {
        WriteError(againText_);
        ::_exit(130);
      }
      stopping = true;
      WriteError(firstText_);
      onFirst_();
    }
  });
}

CStopWatch::~CStopWatch() {
  pthread_kill(watcher_.native_handle(), SIGUSR2);
  watcher_.join();
}

}  // namespace kestrun
