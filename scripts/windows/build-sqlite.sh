#!/usr/bin/env bash
# Builds SQLite for 64-bit Windows from Debian's own source package (the
# amalgamation sqlite3.c, a static library), once, into the cache prefix;
# later runs find the stamp and return at once.
# Cache: $KESTRUN_WIN_CACHE, else ${XDG_CACHE_HOME:-~/.cache}/rv450-kestrun-win;
# the prefix is <cache>/prefix (the toolchain file finds it through $KESTRUN_WIN_PREFIX).
set -euo pipefail
cache="${KESTRUN_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/rv450-kestrun-win}"
prefix="$cache/prefix"
stamp="$prefix/.built-sqlite3"
[ -f "$stamp" ] && exit 0

mkdir -p "$cache/src" "$prefix/include" "$prefix/lib"
cd "$cache/src"
if ! ls sqlite3_*.orig.tar.* >/dev/null 2>&1; then
  apt-get source --download-only sqlite3 >/dev/null
fi
if [ ! -d sqlite3 ]; then
  rm -rf sqlite3.tmp && mkdir sqlite3.tmp
  tar -xf sqlite3_*.orig.tar.* -C sqlite3.tmp --strip-components=1
  mv sqlite3.tmp sqlite3
fi
cd sqlite3
# Debian's source is the full tree: its configure script makes the amalgamation.
if [ ! -f sqlite3.c ]; then
  mkdir -p bld && cd bld
  ../configure --disable-tcl >/dev/null
  make -j"$(nproc)" sqlite3.c >/dev/null
  cp sqlite3.c sqlite3.h ../
  cd ..
fi
x86_64-w64-mingw32-gcc-posix -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_DQS=0 -c sqlite3.c -o "$cache/src/sqlite3-win.o"
rm -f "$prefix/lib/libsqlite3.a"
x86_64-w64-mingw32-ar rcs "$prefix/lib/libsqlite3.a" "$cache/src/sqlite3-win.o"
cp sqlite3.h "$prefix/include/"
touch "$stamp"
