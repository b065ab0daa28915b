#!/usr/bin/env bash
# Builds qtbase (Core, Gui, Widgets, Test, PrintSupport, the Windows platform
# plugin and styles) for 64-bit Windows from Debian's own source package, once,
# into the cache folder; later runs find the stamp and return at once.
# Cache: $KESTRUN_WIN_CACHE, else ${XDG_CACHE_HOME:-~/.cache}/rv450-kestrun-win.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
top="$(cd "$here/../.." && pwd)"
cache="${KESTRUN_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/rv450-kestrun-win}"
prefix="$cache/qt6"
stamp="$prefix/.built-6.4.2"
[ -f "$stamp" ] && exit 0

mkdir -p "$cache/src"
cd "$cache/src"
if ! ls qt6-base_*.orig.tar.xz >/dev/null 2>&1; then
  apt-get source --download-only qt6-base >/dev/null
fi
if [ ! -d qtbase ]; then
  rm -rf qtbase.tmp && mkdir qtbase.tmp
  tar -xJf qt6-base_*.orig.tar.xz -C qtbase.tmp --strip-components=1
  mv qtbase.tmp qtbase
fi

build="$cache/build-qt6"
mkdir -p "$build"
cmake -S qtbase -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
  -DFEATURE_printsupport=ON -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_icu=OFF \
  -DFEATURE_glib=OFF -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF \
  -DFEATURE_system_jpeg=OFF -DFEATURE_system_doubleconversion=OFF \
  -DFEATURE_tabletevent=OFF -DFEATURE_dynamicgl=OFF >"$cache/qt-configure.log"
ninja -C "$build" -j"$(nproc)"
cmake --install "$build" >/dev/null
touch "$stamp"
