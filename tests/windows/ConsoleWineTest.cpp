// The console functions when standard input and error are no console: the
// NUL device (a character device, which the C runtime's _isatty takes for a
// terminal) and a file. Neither gets a prompt without echo or cursor control.
// And a console's stop requests.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "port/Console.h"

namespace {

// Points a standard handle elsewhere for as long as it lives.
class CStdHandle {
 public:
  CStdHandle(DWORD which, HANDLE handle) : which_(which), saved_(GetStdHandle(which)) {
    SetStdHandle(which, handle);
  }
  ~CStdHandle() { SetStdHandle(which_, saved_); }

 private:
  DWORD which_;
  HANDLE saved_;
};

TEST(ConsoleTest, TheNulDeviceAndAFileAreNoTerminal) {
  const HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(nul, INVALID_HANDLE_VALUE);
  wchar_t folder[MAX_PATH], name[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
  ASSERT_NE(GetTempFileNameW(folder, L"kes", 0, name), 0u);
  const HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  for (const HANDLE handle : {nul, file}) {
    const CStdHandle input(STD_INPUT_HANDLE, handle), error(STD_ERROR_HANDLE, handle);
    EXPECT_FALSE(kestrun::InputIsTerminal());
    EXPECT_FALSE(kestrun::ErrorIsTerminal());
    EXPECT_EQ(kestrun::ErrorTerminalKind(), nullptr);
    EXPECT_EQ(kestrun::ErrorTerminalWidth(), 0);
    const kestrun::CEchoOff echoOff;
    EXPECT_FALSE(echoOff.active());
  }
  CloseHandle(file);
  CloseHandle(nul);
}

// In a process of its own with a console of its own (under Wine a process
// started without a terminal has none that takes events), its standard error
// kept for the check: the first Ctrl+C calls the watch's stop and lets the
// process run on; the second ends it at once with 130. (Wine generates no
// Ctrl+Break for a process group; the handler takes it as it takes Ctrl+C.)
void StopTwice() {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  FreeConsole();
  if (!AllocConsole()) std::_Exit(2);
  SetStdHandle(STD_ERROR_HANDLE, error);
  SetConsoleCtrlHandler(nullptr, FALSE);  // Ctrl+C reaches the handlers
  const HANDLE stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const kestrun::CStopWatch watch([stopped] { SetEvent(stopped); }, "stopping\n", "stopped at once\n");
  if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) std::_Exit(3);
  // A console that never calls the handler fails the check instead of hanging it.
  if (WaitForSingleObject(stopped, 30000) != WAIT_OBJECT_0) std::_Exit(4);
  GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
  Sleep(30000);
  std::_Exit(5);
}

TEST(ConsoleDeathTest, ASecondCtrlCEndsTheProcessWith130) {
  EXPECT_EXIT(StopTwice(), ::testing::ExitedWithCode(130), "stopping\nstopped at once\n");
}

}  // namespace
