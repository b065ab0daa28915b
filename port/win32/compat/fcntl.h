// The C runtime's open flags, plus the POSIX ones it lacks. A handle is not
// inherited (O_NOINHERIT); the others have no meaning for a file there: no
// controlling terminal, no blocking FIFO, and links are reparse points, which
// the file layer checks by itself.
#pragma once

#include_next <fcntl.h>

#ifndef O_CLOEXEC
#define O_CLOEXEC O_NOINHERIT
#endif
#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0
#endif
#ifndef O_NOCTTY
#define O_NOCTTY 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
