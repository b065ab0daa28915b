// What the command line needs from the terminal (a console on Windows):
// whether standard input and error are one, its width and kind, typing
// without echo, and stop requests from outside (Ctrl+C). One implementation
// per system (port/posix/Console.cpp, port/win32/Console.cpp).
#pragma once

#include <functional>
#include <memory>
#include <thread>

namespace kestrun {

// Whether standard input / output / error is an interactive terminal.
bool InputIsTerminal();
bool OutputIsTerminal();
bool ErrorIsTerminal();

// The kind of terminal on standard error, as TERM names it: $TERM on Linux;
// on Windows "vt100" when the console takes virtual-terminal sequences
// (turned on here), else none (nullptr).
const char* ErrorTerminalKind();

// The width of the terminal on standard error in columns; 0 when unknown.
int ErrorTerminalWidth();

// Echo off on standard input's terminal for as long as it lives. Restore()
// gives the echo back; a stop may call it from another thread.
class CEchoOff {
 public:
  CEchoOff();
  ~CEchoOff();
  CEchoOff(const CEchoOff&) = delete;
  CEchoOff& operator=(const CEchoOff&) = delete;
  bool active() const { return active_; }
  void Restore() const;

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
  bool active_ = false;
};

// Stop requests from outside: Ctrl+C and SIGTERM on Linux; Ctrl+C,
// Ctrl+Break and closing the console on Windows. The first request calls
// `onFirst` after writing `firstText` to standard error; a second writes
// `againText` and ends the process with status 130 at once, as closing the
// console does after `onFirst`. The texts must outlive the watch.
class CStopWatch {
 public:
  // Call first thing in main(), before any thread starts: on Linux the
  // signals are blocked there and in every thread started later, so that only
  // the watcher sees them.
  static void Prepare();
  CStopWatch(std::function<void()> onFirst, const char* firstText, const char* againText);
  ~CStopWatch();
  CStopWatch(const CStopWatch&) = delete;
  CStopWatch& operator=(const CStopWatch&) = delete;

 private:
  std::function<void()> onFirst_;
  const char* firstText_;
  const char* againText_;
  std::thread watcher_;  // Linux: the thread that waits for the signals
};

}  // namespace kestrun
