// What Windows says about a port that does not open is its error code alone:
// no process list, no ModemManager, no device groups. The Linux neighbours
// are reported as absent, and the advice follows from the code.
#include "port/PortNeighbours.h"

#include <windows.h>

#include "port/SystemError.h"
#include "port/win32/Win32Error.h"

namespace kestrun {

UserAccess UserAccess::OfThisProcess() { return {}; }

std::string ResolveDevice(const std::string& path) { return path; }

std::vector<Holder> ProcessesHolding(const std::string&, const SystemRoots&) { return {}; }

bool IsModemManagerRunning(const SystemRoots&) { return false; }

std::optional<UsbId> UsbIdOf(const std::string&, const SystemRoots&) { return std::nullopt; }

bool MarkedModemManagerIgnore(const std::string&, const SystemRoots&) { return false; }

std::optional<UsbId> ModemManagerProbes(const std::string&, const SystemRoots&) { return std::nullopt; }

std::string ModemManagerIgnoreRule(const UsbId&) { return {}; }

std::string ModemManagerRuleCommand(const UsbId&) { return {}; }

std::string ModemManagerAdvice(const std::string&, const SystemRoots&) { return {}; }

std::string StableNameOf(const std::string&, const SystemRoots&) { return {}; }

std::string DescribeOpenFailure(const std::string& path, int systemError, const SystemRoots&,
                                const UserAccess&) {
  const std::string checkCable =
      ". Check that the tracker's cable is plugged in, or pick another port in Main Setting.";
  if (path.empty()) return "No serial device is known under this COM number" + checkCable;
  std::string text = path + ": " + SystemReason(systemError);
  if (systemError == EBUSY)
    text += ". Another program holds the port: close it and try again.";
  else if (systemError == ENOENT || systemError == EIO)
    text += checkCable;
  return text;
}

int TryOpenDevice(const std::string& path) {
  const HANDLE port =
      CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) return ErrnoForWindowsError(GetLastError());
  CloseHandle(port);
  return 0;
}

}  // namespace kestrun
