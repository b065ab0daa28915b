#include "port/Console.h"

#include <windows.h>

#include <atomic>
#include <cstring>

namespace kestrun {

namespace {

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

void WriteError(const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

// The one watch of the process; the console calls its handler on a thread of
// its own.
std::atomic<CStopWatch*> g_watch{nullptr};
std::atomic<int> g_requests{0};
struct WatchTexts {
  const std::function<void()>* onFirst;
  const char* first;
  const char* again;
};
WatchTexts g_texts{};

// Leaves at once, as _exit does on Linux: no other thread's locks are waited
// for on the way out.
[[noreturn]] void LeaveAtOnce() {
  TerminateProcess(GetCurrentProcess(), 130);
  ExitProcess(130);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  if (!g_watch.load()) return FALSE;
  if (g_requests.fetch_add(1) > 0) {
    WriteError(g_texts.again);
    LeaveAtOnce();
  }
  WriteError(g_texts.first);
  (*g_texts.onFirst)();
  // A closed console ends the process when this returns, and Windows allows
  // it about five seconds in all: the stopping ports get most of them to
  // close (main() then ends the process with 130), and 130 it is anyway.
  if (event == CTRL_CLOSE_EVENT) {
    Sleep(4000);
    LeaveAtOnce();
  }
  return TRUE;
}

}  // namespace

bool InputIsTerminal() { return IsConsole(STD_INPUT_HANDLE); }
bool OutputIsTerminal() { return IsConsole(STD_OUTPUT_HANDLE); }
bool ErrorIsTerminal() { return IsConsole(STD_ERROR_HANDLE); }

const char* ErrorTerminalKind() {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(error, &mode)) return nullptr;
  if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return "vt100";
  // Consoles before Windows 10 refuse the mode: they get plain lines.
  return SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) ? "vt100" : nullptr;
}

int ErrorTerminalWidth() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

struct CEchoOff::Saved {
  DWORD mode = 0;
};

CEchoOff::CEchoOff() : saved_(std::make_unique<Saved>()) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  active_ = GetConsoleMode(input, &saved_->mode) != 0 &&
            SetConsoleMode(input, saved_->mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
}

CEchoOff::~CEchoOff() { Restore(); }

void CEchoOff::Restore() const {
  if (active_) SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), saved_->mode);
}

void CStopWatch::Prepare() {}

CStopWatch::CStopWatch(std::function<void()> onFirst, const char* firstText, const char* againText)
    : onFirst_(std::move(onFirst)), firstText_(firstText), againText_(againText) {
  g_texts = {&onFirst_, firstText_, againText_};
  g_requests = 0;
  g_watch = this;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

CStopWatch::~CStopWatch() {
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  g_watch = nullptr;
}

}  // namespace kestrun
