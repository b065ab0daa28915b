#!/usr/bin/env bash
# Installs what is missing, builds RV450 Kestrun with warnings as errors and
# makes its Debian package in dist/ (CPack; the dependencies come from the
# binaries), then checks the package with lintian, which must report no error.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUN_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)"
rm -rf dist
mkdir -p dist
cpack --config build/CPackConfig.cmake -B "$PWD/dist" >/dev/null
rm -rf dist/_CPack_Packages
deb=$(ls dist/*.deb)
echo "== lintian $deb"
lintian --fail-on error --display-info "$deb"
echo "Package: $deb"
