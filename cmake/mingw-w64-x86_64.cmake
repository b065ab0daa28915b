# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# The cache of libraries built from Debian's sources comes in through
# KESTRUN_WIN_PREFIX (set by scripts/windows/*.sh).
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 $ENV{KESTRUN_WIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config finds the cache's .pc files (libqrencode), never the build host's.
if(DEFINED ENV{KESTRUN_WIN_PREFIX})
  set(ENV{PKG_CONFIG_LIBDIR} "$ENV{KESTRUN_WIN_PREFIX}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endif()
