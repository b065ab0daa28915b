#!/usr/bin/env bash
# Cross-builds the plain C++ libraries and their Windows tests into build-win/
# (warnings as errors), with rv450-cli.exe, and runs the tests and the
# rv450-cli.exe checks (tests/windows/cli-checks.sh) under Wine: rv450-sim simulators on
# pseudo-terminals are linked in as COM ports of a Wine prefix of its own and
# registered in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, and their numbers are
# handed to the tests in KESTRUN_WINE_COMS.
#   scripts/windows/test-wine.sh [build-only]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
build=${KESTRUN_WIN_BUILD:-$root/build-win}
linux_build=${KESTRUN_LINUX_BUILD:-$root/build}
coms=(7 8 12)  # 12: a number of two digits, as \\.\COM12 needs
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

stamp() { date +%s.%N; }
took() { printf '%s: %.1f s\n' "$1" "$(echo "$(stamp) - $2" | bc)"; }

t=$(stamp)
# SQLite for Windows, from Debian's source, once (the cache prefix).
cache="${KESTRUN_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/rv450-kestrun-win}"
export KESTRUN_WIN_PREFIX="$cache/prefix"
"$root/scripts/windows/build-sqlite.sh"
took "SQLite for Windows" "$t"
t=$(stamp)
# libqrencode and libharu (with zlib and libpng) for the labels, the same way.
"$root/scripts/windows/build-labels.sh"
took "Label libraries for Windows" "$t"

t=$(stamp)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUN_WITH_UI=OFF -DKESTRUN_WERROR=ON -DKESTRUN_WITH_SETTINGS=ON \
  -DKESTRUN_WITH_JOURNAL=ON -DKESTRUN_WITH_PROGRAMS=ON -DKESTRUN_WITH_LABELS=ON "${launcher[@]}" >/dev/null
cmake --build "$build" -j2
took "Windows build" "$t"
[ "${1:-}" = build-only ] && exit 0

# The MinGW runtime beside the programs and the tests.
for dll in /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libstdc++-6.dll \
  /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libgcc_s_seh-1.dll \
  /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libssp-0.dll \
  /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll; do
  if [ -f "$dll" ]; then cp -u "$dll" "$build/tests/" && cp -u "$dll" "$build/"; fi
done

# The simulator, and the Linux rv450-cli whose read the Windows one must equal.
if [ ! -x "$linux_build/rv450-sim" ] || [ ! -x "$linux_build/rv450-cli" ]; then
  [ -f "$linux_build/CMakeCache.txt" ] || cmake -S "$root" -B "$linux_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKESTRUN_WERROR=ON "${launcher[@]}" >/dev/null
  cmake --build "$linux_build" -j2 --target rv450-sim rv450-cli
fi

# Debian's wine64 package puts its programs under /usr/lib/wine.
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

t=$(stamp)
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrun-wine-XXXXXX")
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
if [ ! -d "$WINEPREFIX/dosdevices" ]; then
  "$wine" wineboot -i >/dev/null 2>&1
  # The server wineboot started lingers a while; -p below needs none running.
  "$wineserver" -w
fi
# One wineserver for the whole run: HARDWARE\DEVICEMAP lives only as long as it.
"$wineserver" -p >/dev/null 2>&1 || true  # wineboot's own may still be running
took "Wine prefix" "$t"

# rv450-sim links its pseudo-terminal into its ports folder as com<N>.
for n in "${coms[@]}"; do
  "$linux_build/rv450-sim" --com "$n" --ports-dir "$work" --awake --quiet >"$work/sim$n.log" 2>&1 &
  sims+=($!)
done
for n in "${coms[@]}"; do
  for _ in $(seq 100); do [ -L "$work/com$n" ] && break; sleep 0.1; done
  pty=$(readlink -f "$work/com$n")
  [ -c "$pty" ] || { echo "rv450-sim on COM$n did not start:"; cat "$work/sim$n.log"; exit 1; }
  ln -sfn "$pty" "$WINEPREFIX/dosdevices/com$n"
  "$wine" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "\\Device\\Serial$n" /t REG_SZ /d "COM$n" /f >/dev/null
done
export KESTRUN_WINE_COMS=$(IFS=,; echo "${coms[*]}")

t=$(stamp)
failed=0
for test in protocol_tests engine_tests com_port_tests settings_tests journal_tests batch_tests console_tests files_tests; do
  echo "== $test.exe under Wine"
  if ! (cd "$build/tests" && "$wine" "./$test.exe" --gtest_brief=1); then
    failed=1
  fi
done
took "Wine test run" "$t"

t=$(stamp)
echo "== rv450-cli.exe under Wine"
"$root/tests/windows/cli-checks.sh" "$wine" "$build" "$linux_build" "$work" || failed=1
took "rv450-cli.exe checks" "$t"
exit $failed
