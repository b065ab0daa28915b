// The errno value the plain C++ rooms understand for a Windows error code:
// the port layer reports failures as errno values on every system, so that
// "busy", "gone" and "no such port" read the same above it.
#pragma once

#include <windows.h>

#include <cerrno>
#include <string>

namespace kestrun {

inline int ErrnoForWindowsError(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS: return 0;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EBUSY;  // an open COM port is held by another program
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_INVALID_PARAMETER: return EINVAL;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    default: return EIO;  // the device was removed, does not answer, or the call failed
  }
}

// UTF-16 for the wide Windows calls; the tool's texts are UTF-8.
inline std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

inline std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr,
                      nullptr);
  return text;
}

}  // namespace kestrun
