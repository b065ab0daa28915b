#!/usr/bin/env bash
# Installs what the Windows cross build needs from Debian: the MinGW-w64 compiler
# (POSIX threads, so std::thread works), Wine to run the programs and tests, NSIS
# for the installer, GoogleTest's sources, the icon tools, a virtual display, and
# a deb-src entry for the same Debian archive so that qtbase (and the C
# libraries) can be built from source.
set -euo pipefail
packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  wine64 nsis googletest ninja-build cmake zip dpkg-dev xz-utils
  qt6-base-dev qt6-base-dev-tools
  # The window's icon (SVG to .ico) and its check under Wine: a virtual
  # display, keys sent to it and a screenshot.
  librsvg2-bin icoutils xvfb xdotool imagemagick bc
  # The labels' check: the PDF's pages rendered and their QR codes read.
  poppler-utils zbar-tools
)
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

sources=/etc/apt/sources.list.d/rv450-kestrun-src.sources
need_update=0
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  # The same URI, suites and keyring as the archive's own deb entry.
  $sudo tee "$sources" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
  $sudo apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
