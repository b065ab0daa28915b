#!/usr/bin/env bash
# Installs the Debian packages the tool, its tests and its demo need, when missing.
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  qt6-base-dev libgl-dev libvulkan-dev
  libgtest-dev nlohmann-json3-dev
  xvfb xauth x11-utils xdotool imagemagick fonts-liberation
  clang libclang-rt-14-dev
  libcli11-dev libsqlite3-dev libpq-dev postgresql
  libqrencode-dev libhpdf-dev zbar-tools poppler-utils
  dpkg-dev file man-db lintian desktop-file-utils appstream librsvg2-bin
  at-spi2-core dbus dbus-x11 python3-gi gir1.2-atspi-2.0
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
