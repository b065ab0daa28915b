#!/usr/bin/env bash
# Builds the libraries of the label sheets for 64-bit Windows from Debian's own
# source packages, once, into the cache prefix, as static libraries (nothing
# more to ship beside the programs): zlib and libpng (what libharu needs),
# libqrencode (the QR codes) and libharu (the PDF pages). Each is compiled
# straight from its sources, as build-sqlite.sh does SQLite: a few seconds
# each, no configure step. Later runs find the stamp and return at once.
# Cache: $KESTRUN_WIN_CACHE, else ${XDG_CACHE_HOME:-~/.cache}/rv450-kestrun-win;
# the prefix is <cache>/prefix (the toolchain file finds it through
# $KESTRUN_WIN_PREFIX, pkg-config through <prefix>/lib/pkgconfig).
set -euo pipefail
cache="${KESTRUN_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/rv450-kestrun-win}"
prefix="$cache/prefix"
stamp="$prefix/.built-labels"
[ -f "$stamp" ] && exit 0

cc=x86_64-w64-mingw32-gcc-posix
ar=x86_64-w64-mingw32-ar
cflags=(-O2 -w)  # their own code: its warnings are not ours to fix
mkdir -p "$cache/src" "$prefix/include" "$prefix/lib/pkgconfig"

# unpack SOURCE_PACKAGE: the upstream tree of Debian's source package in
# $cache/src/SOURCE_PACKAGE (the .orig tarball alone: some packages' Debian
# part is missing on mirrors, and none of these needs it to build).
unpack() {
  local name=$1
  cd "$cache/src"
  if ! ls "${name}"_*.orig.tar.* >/dev/null 2>&1; then
    apt-get source --download-only "$name" >/dev/null 2>&1 || true
    ls "${name}"_*.orig.tar.* >/dev/null 2>&1 || {
      echo "build-labels: no source of $name (is there a deb-src entry? see install-deps.sh)" >&2
      exit 1
    }
  fi
  if [ ! -d "$name" ]; then
    rm -rf "$name.tmp" && mkdir "$name.tmp"
    tar -xf "${name}"_*.orig.tar.* -C "$name.tmp" --strip-components=1
    mv "$name.tmp" "$name"
  fi
  cd "$name"
}

# archive LIBRARY FILES...: compiles the C files into <prefix>/lib/LIBRARY.a.
archive() {
  local lib=$1 objects=() src
  shift
  rm -rf obj && mkdir obj
  for src in "$@"; do
    "$cc" "${cflags[@]}" "${defines[@]}" -I"$prefix/include" -Iinclude -I. -c "$src" -o "obj/$(basename "${src%.c}").o"
    objects+=("obj/$(basename "${src%.c}").o")
  done
  rm -f "$prefix/lib/$lib.a"
  "$ar" rcs "$prefix/lib/$lib.a" "${objects[@]}"
}

unpack zlib
defines=()
archive libz adler32.c compress.c crc32.c deflate.c gzclose.c gzlib.c gzread.c gzwrite.c infback.c inffast.c \
  inflate.c inftrees.c trees.c uncompr.c zutil.c
cp zlib.h zconf.h "$prefix/include/"

unpack libpng1.6
cp scripts/pnglibconf.h.prebuilt pnglibconf.h
defines=()
archive libpng16 png.c pngerror.c pngget.c pngmem.c pngpread.c pngread.c pngrio.c pngrtran.c pngrutil.c \
  pngset.c pngtrans.c pngwio.c pngwrite.c pngwtran.c pngwutil.c
ln -sf libpng16.a "$prefix/lib/libpng.a"
cp png.h pngconf.h pnglibconf.h "$prefix/include/"

unpack qrencode
version=$(sed -n 's/^project(QRencode VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
IFS=. read -r major minor micro <<<"$version"
defines=(-DMAJOR_VERSION="$major" -DMINOR_VERSION="$minor" -DMICRO_VERSION="$micro" -DVERSION="\"$version\""
  -DHAVE_STRDUP=1 -DHAVE_LIBPTHREAD=1 -DSTATIC_IN_RELEASE=static)
archive libqrencode bitstream.c mask.c mmask.c mqrspec.c qrencode.c qrinput.c qrspec.c rsecc.c split.c
cp qrencode.h "$prefix/include/"
cat >"$prefix/lib/pkgconfig/libqrencode.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: libqrencode
Description: A QR Code encoding library
Version: $version
Libs: -L\${libdir} -lqrencode
Libs.private: -lpthread
Cflags: -I\${includedir}
PC

unpack libharu
# The header configure would write: the C headers MinGW has, zlib and libpng there.
cat >include/hpdf_config.h <<'H'
#define LIBHPDF_HAVE_INTTYPES_H 1
#define LIBHPDF_HAVE_LIBPNG 1
#define LIBHPDF_HAVE_LIBZ 1
#define LIBHPDF_HAVE_MEMORY_H 1
#define LIBHPDF_HAVE_STDINT_H 1
#define LIBHPDF_HAVE_STDLIB_H 1
#define LIBHPDF_HAVE_STRINGS_H 1
#define LIBHPDF_HAVE_STRING_H 1
#define LIBHPDF_HAVE_SYS_STAT_H 1
#define LIBHPDF_HAVE_SYS_TYPES_H 1
#define LIBHPDF_HAVE_UNISTD_H 1
#define LIBHPDF_STDC_HEADERS 1
H
defines=()
archive libhpdf src/hpdf_*.c
cp include/hpdf*.h "$prefix/include/"
touch "$stamp"
