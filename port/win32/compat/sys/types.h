// The C runtime's types, plus the user and group ids that POSIX code names
// (Windows has neither; the Windows build never compares them).
#pragma once

#include_next <sys/types.h>

typedef unsigned int uid_t;
typedef unsigned int gid_t;
