#!/usr/bin/env bash
# Builds RV450 Kestrun for 64-bit Windows on this Debian 12 machine and packs it:
#   dist/rv450-kestrun-<version>-win64-setup.exe  (NSIS installer)
#   dist/rv450-kestrun-<version>-win64.zip        (the same folder)
# Steps: the Debian packages that are missing (scripts/windows/install-deps.sh),
# qtbase, SQLite and the labels' libraries (static: zlib, libpng, libqrencode,
# libharu) for Windows from Debian's sources, built once into the cache
# $KESTRUN_WIN_CACHE (by default ~/.cache/rv450-kestrun-win; the first run
# spends about half an hour on Qt, later runs reuse it), rv450-kestrun.exe and
# rv450-cli.exe, the plain C++ suites and rv450-cli.exe's checks under Wine
# (scripts/windows/test-wine.sh) and the window's check under Wine and Xvfb: it
# reads a simulator and leaves a screenshot in dist/.
#   ./package-windows.sh [--no-checks]
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
cd "$root"
cache="${KESTRUN_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/rv450-kestrun-win}"
build=${KESTRUN_WIN_APP_BUILD:-$root/build-win-app}
linux_build=${KESTRUN_LINUX_BUILD:-$root/build}
dist=$root/dist
checks=1
[ "${1:-}" = --no-checks ] && checks=0
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
started=$(date +%s)
step() { echo "== $1 ($(($(date +%s) - started)) s)"; }

step "Debian packages"
scripts/windows/install-deps.sh
step "Qt for Windows (once, into $cache/qt6)"
scripts/windows/build-qt.sh
step "SQLite for Windows (once, into $cache/prefix)"
scripts/windows/build-sqlite.sh
step "zlib, libpng, libqrencode and libharu for Windows (once, into $cache/prefix)"
scripts/windows/build-labels.sh
export KESTRUN_WIN_PREFIX="$cache/prefix"

step "rv450-kestrun.exe and rv450-cli.exe"
"$cache/qt6/bin/qt-cmake" -S "$root" -B "$build" -G Ninja \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKESTRUN_WERROR=ON -DKESTRUN_WITH_PROGRAMS=ON -DKESTRUN_WITH_LABELS=ON -DBUILD_TESTING=OFF "${launcher[@]}" >/dev/null
targets=(rv450-kestrun rv450-cli)
cmake --build "$build" -j2 --target "${targets[@]}"

version=$(sed -n 's/^project(RV450Kestrun VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=rv450-kestrun-$version-win64
stage=$build/stage/$name
step "The program folder $stage"
rm -rf "$build/stage" && mkdir -p "$stage/platforms" "$stage/styles"
for target in "${targets[@]}"; do
  x86_64-w64-mingw32-strip -o "$stage/$target.exe" "$build/$target.exe"
done
cp "$cache/qt6/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$cache/qt6/plugins/styles/"*.dll "$stage/styles/"
# The DLLs the programs and plugins import, found in the cross Qt and the
# MinGW runtime (the system's own DLLs are not there and stay out).
search=("$cache/qt6/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
queue=("$stage"/*.exe "$stage"/platforms/*.dll "$stage"/styles/*.dll)
while [ ${#queue[@]} -gt 0 ]; do
  file=${queue[0]}
  queue=("${queue[@]:1}")
  for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
    [ -f "$stage/$dll" ] && continue
    for dir in "${search[@]}"; do
      if [ -f "$dir/$dll" ]; then
        cp "$dir/$dll" "$stage/"
        queue+=("$stage/$dll")
        break
      fi
    done
  done
done
cp "$build/rv450-kestrun.ico" "$stage/"

if [ $checks -eq 1 ]; then
  if [ ! -x "$linux_build/rv450-sim" ]; then
    [ -f "$linux_build/CMakeCache.txt" ] || cmake -S "$root" -B "$linux_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DKESTRUN_WERROR=ON "${launcher[@]}" >/dev/null
    cmake --build "$linux_build" -j2 --target rv450-sim
  fi
  step "The plain C++ suites under Wine"
  KESTRUN_LINUX_BUILD=$linux_build scripts/windows/test-wine.sh
  step "The window under Wine: Read All and a screenshot"
  mkdir -p "$dist"
  scripts/windows/window-check.sh "$stage" "$linux_build/rv450-sim" "$dist/$name-window.png"
fi

step "Installer and zip"
mkdir -p "$dist"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$dist/$name-setup.exe" \
  scripts/windows/installer.nsi
rm -f "$dist/$name.zip"
(cd "$build/stage" && zip -qr "$dist/$name.zip" "$name")
step "Done: $dist/$name-setup.exe and $dist/$name.zip"
