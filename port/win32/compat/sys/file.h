// flock() on a C runtime file descriptor, as a whole-file lock of the
// Windows handle behind it (LockFileEx), so that two programs appending to
// one log do not mix their lines.
#pragma once

#include_next <sys/file.h>

#include <errno.h>
#include <io.h>
#include <windows.h>

#define LOCK_SH 1
#define LOCK_EX 2
#define LOCK_NB 4
#define LOCK_UN 8

#ifndef EWOULDBLOCK
#define EWOULDBLOCK EAGAIN
#endif

static inline int flock(int fd, int operation) {
  const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (file == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  OVERLAPPED whole{};
  if (operation & LOCK_UN) return UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole) ? 0 : (errno = EINVAL, -1);
  DWORD flags = (operation & LOCK_EX) ? LOCKFILE_EXCLUSIVE_LOCK : 0;
  if (operation & LOCK_NB) flags |= LOCKFILE_FAIL_IMMEDIATELY;
  if (LockFileEx(file, flags, 0, MAXDWORD, MAXDWORD, &whole)) return 0;
  errno = GetLastError() == ERROR_LOCK_VIOLATION ? EWOULDBLOCK : EINVAL;
  return -1;
}
