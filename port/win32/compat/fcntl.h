// The C runtime's open flags, plus O_CLOEXEC, which it spells O_NOINHERIT.
// The file layer's own opens go through port/Platform.h (CreateFileW), which
// keeps links (reparse points), FIFOs and terminals out by itself.
#pragma once

#include_next <fcntl.h>

#ifndef O_CLOEXEC
#define O_CLOEXEC O_NOINHERIT
#endif
