#include "port/ComPort.h"

#include <windows.h>

#include <cerrno>

#include "port/win32/Win32Error.h"

namespace kestrun {

struct CComPort::SavedLine {
  DCB line{};
  COMMTIMEOUTS timeouts{};
};

void CComPort::DropSavedLine::operator()(SavedLine* line) const { delete line; }

namespace {

constexpr DWORD kQueueSize = 4096;

bool SupportedSpeed(int baud) {
  switch (baud) {
    case 57600:
    case 115200:
    case 230400:
    case 460800:
    case 921600: return true;
    default: return false;
  }
}

}  // namespace

int CComPort::OpenDevice(const std::string& path, PortHandle& handle) {
  // Share mode 0: a COM port opens once; a second open fails with
  // ERROR_ACCESS_DENIED while another program holds it.
  const HANDLE port = CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  0, nullptr);
  if (port == INVALID_HANDLE_VALUE) return ErrnoForWindowsError(GetLastError());
  handle = port;
  return 0;
}

int CComPort::SetUpLine(PortHandle handle, const char*& refused) {
  const HANDLE port = static_cast<HANDLE>(handle);
  const auto closeRefused = [&](const char* what, int error) {
    CloseHandle(port);
    refused = what;
    return error;
  };
  constexpr const char* kLineSettings = "the line settings";
  auto saved = std::unique_ptr<SavedLine, DropSavedLine>(new SavedLine);
  saved->line.DCBlength = sizeof(DCB);
  if (!SupportedSpeed(settings_.baudRate)) return closeRefused(kLineSettings, EINVAL);
  if (!GetCommState(port, &saved->line) || !GetCommTimeouts(port, &saved->timeouts))
    return closeRefused(kLineSettings, ErrnoForWindowsError(GetLastError()));
  SetupComm(port, kQueueSize, kQueueSize);

  // 8N1, binary, no parity check, no hardware or software flow control,
  // DTR and RTS raised and kept up.
  DCB line = saved->line;
  line.BaudRate = static_cast<DWORD>(settings_.baudRate);
  line.ByteSize = 8;
  line.Parity = NOPARITY;
  line.StopBits = ONESTOPBIT;
  line.fBinary = TRUE;
  line.fParity = FALSE;
  line.fOutxCtsFlow = FALSE;
  line.fOutxDsrFlow = FALSE;
  line.fDtrControl = DTR_CONTROL_ENABLE;
  line.fRtsControl = RTS_CONTROL_ENABLE;
  line.fDsrSensitivity = FALSE;
  line.fTXContinueOnXoff = FALSE;
  line.fOutX = FALSE;
  line.fInX = FALSE;
  line.fErrorChar = FALSE;
  line.fNull = FALSE;
  line.fAbortOnError = FALSE;
  if (!SetCommState(port, &line)) return closeRefused(kLineSettings, ErrnoForWindowsError(GetLastError()));
  EscapeCommFunction(port, SETDTR);
  EscapeCommFunction(port, SETRTS);

  // A read returns at once with what has arrived; the waits and deadlines
  // are the clock's (WaitReadable), as on Linux. Writes have no time-out.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  if (!SetCommTimeouts(port, &timeouts)) {
    const int error = ErrnoForWindowsError(GetLastError());
    SetCommState(port, &saved->line);
    return closeRefused("the time-outs", error);
  }
  PurgeComm(port, PURGE_TXCLEAR | PURGE_RXCLEAR);
  savedLine_ = std::move(saved);
  return 0;
}

void CComPort::Close() {
  if (!isOpen()) return;
  // The next user of the port finds the line as this one did, once what was
  // written has gone out; a device that has gone refuses, harmlessly.
  const HANDLE port = static_cast<HANDLE>(handle_);
  if (savedLine_) {
    FlushFileBuffers(port);
    SetCommState(port, &savedLine_->line);
    SetCommTimeouts(port, &savedLine_->timeouts);
  }
  CloseHandle(port);
  handle_ = kNoPortHandle;
}

PortResult CComPort::Purge() {
  if (!isOpen()) return PortResult::System(EBADF);
  const DWORD what = purgeDiscardsOutput_ ? PURGE_TXCLEAR | PURGE_RXCLEAR : PURGE_RXCLEAR;
  if (!PurgeComm(static_cast<HANDLE>(handle_), what))
    return PortResult::System(ErrnoForWindowsError(GetLastError()));
  return PortResult::Ok();
}

PortResult CComPort::WriteBytes(const std::string& bytes) {
  if (!isOpen()) return PortResult::System(EBADF);
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    DWORD n = 0;
    if (!WriteFile(static_cast<HANDLE>(handle_), bytes.data() + sent, static_cast<DWORD>(bytes.size() - sent),
                   &n, nullptr))
      return PortResult::System(ErrnoForWindowsError(GetLastError()));
    if (n == 0) return PortResult::System(EIO);
    sent += n;
  }
  return PortResult::Ok();
}

PortResult CComPort::ReadAvailable(char* into, std::size_t want, std::size_t& got) {
  got = 0;
  DWORD n = 0;
  if (!ReadFile(static_cast<HANDLE>(handle_), into, static_cast<DWORD>(want), &n, nullptr))
    return PortResult::System(ErrnoForWindowsError(GetLastError()));
  got = n;
  return PortResult::Ok();
}

}  // namespace kestrun
