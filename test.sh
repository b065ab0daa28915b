#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test,
# then builds the Debian package and checks it (lint, unpack, start).
# With --windows it also cross-builds the plain C++ suite and rv450-cli.exe for
# Windows and runs them under Wine against the simulator.
# With --sanitizers it also builds and runs the tests with AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded ones with ThreadSanitizer, and the
# fuzzers (the reply parsers, the table and config file loaders) for a short while.
set -euo pipefail
cd "$(dirname "$0")"
export QT_QPA_PLATFORM=offscreen
./scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUN_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
# Everything, the tests labelled slow included.
ctest --test-dir build --output-on-failure --no-tests=error -j4

echo "== Debian package: lintian, then unpacked and every program started"
./package.sh
tests/package/check-package.sh dist/rv450-kestrun_*.deb

sanitizers=0 windows=0
for arg in "$@"; do
  case "$arg" in
    --sanitizers) sanitizers=1 ;;
    --windows) windows=1 ;;
    *) echo "test.sh: unknown option $arg (--sanitizers, --windows)" >&2; exit 2 ;;
  esac
done

if [ "$sanitizers" = 1 ]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKESTRUN_WERROR=ON \
        -DKESTRUN_SANITIZE=address,undefined >/dev/null
  cmake --build build-asan -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure --no-tests=error -j4

  echo "== ThreadSanitizer (plain C++ layers: port, engine, simulator, command line; slow ones too)"
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DKESTRUN_WERROR=ON -DKESTRUN_WITH_UI=OFF \
        -DKESTRUN_SANITIZE=thread >/dev/null
  cmake --build build-tsan -j"$jobs"
  TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure --no-tests=error -j4 -L "threads|cli"

  echo "== Fuzzing the reply parsers and the table and config file loaders"
  ./scripts/fuzz.sh 20
fi

if [ "$windows" = 1 ]; then
  echo "== Windows: the plain C++ suite and rv450-cli.exe under Wine"
  ./scripts/windows/install-deps.sh
  ./scripts/windows/test-wine.sh
fi
