#!/usr/bin/env bash
# Checks the Debian package that ./package.sh made, the way a user's machine
# would meet it: unpacked with dpkg -x into a temporary folder, its desktop
# entry and AppStream metadata validated, every program started from there
# (--version, --help), the simulator registering a port and the window coming
# up on Qt's offscreen platform and closing on SIGTERM.
#
#   tests/package/check-package.sh dist/rv450-kestrun_<version>_<arch>.deb
set -uo pipefail
deb=${1:?usage: check-package.sh PACKAGE.deb}
deb=$(realpath "$deb")
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
root=$work/root
passed=0
failed=0

# check NAME COMMAND...: runs the command, counts and reports its outcome.
check() {
  local name=$1
  shift
  if "$@" >"$work/out" 2>&1; then
    passed=$((passed + 1))
    echo "ok    $name"
  else
    failed=$((failed + 1))
    echo "FAIL  $name"
    sed 's/^/      /' "$work/out" | head -n 40
  fi
}

# Waits up to `seconds` for a command to succeed.
wait_for() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.1
  done
}

version=$(dpkg-deb -f "$deb" Version)
upstream=${version%-*}
dpkg -x "$deb" "$root" || { echo "FAIL  dpkg -x $deb"; exit 1; }
bin=$root/usr/bin
doc=$root/usr/share/doc/rv450-kestrun
programs=$(cd "$bin" && ls)

has_files() {
  local missing=0
  for f in "$@"; do
    [ -f "$root/$f" ] || { echo "missing: /$f"; missing=1; }
  done
  return $missing
}
check "the package holds programs, desktop entry, icons, metainfo and docs" has_files \
  usr/bin/rv450-kestrun usr/bin/rv450-cli usr/bin/rv450-sim usr/bin/rv450-bench \
  usr/share/applications/example.kestrun.RV450Kestrun.desktop \
  usr/share/metainfo/example.kestrun.RV450Kestrun.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/rv450-kestrun.svg \
  usr/share/icons/hicolor/48x48/apps/rv450-kestrun.png \
  usr/share/icons/hicolor/256x256/apps/rv450-kestrun.png \
  usr/share/doc/rv450-kestrun/copyright usr/share/doc/rv450-kestrun/changelog.Debian.gz \
  usr/share/doc/rv450-kestrun/70-rv450-kestrun.rules

man_pages() {
  for p in $programs; do
    local page=$root/usr/share/man/man1/$p.1.gz
    [ -f "$page" ] || { echo "no man page for $p"; return 1; }
    gzip -t "$page" || return 1
    # grep -q stops reading at the first match; fed through a pipe, zcat would
    # then die of SIGPIPE on a long page and pipefail would fail the check.
    grep -q "^$p \\\\- " < <(zcat "$page") || { echo "$p.1: no NAME line for $p"; return 1; }
    zcat "$page" | man --warnings -l -Tutf8 -Z - >/dev/null || return 1
  done
}
check "every program has a man page that man reads without warnings" man_pages

png_sizes() {
  for size in 48 256; do
    file "$root/usr/share/icons/hicolor/${size}x${size}/apps/rv450-kestrun.png" |
      grep -q "PNG image data, $size x $size" || { echo "not a ${size}x${size} PNG"; return 1; }
  done
}
check "the bitmap icons are PNGs of their folder's size" png_sizes

check "desktop-file-validate passes" desktop-file-validate "$root"/usr/share/applications/*.desktop
check "appstreamcli validate passes" appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml

desktop_entry_fits() {
  local entry=$root/usr/share/applications/example.kestrun.RV450Kestrun.desktop
  local exec icon
  exec=$(sed -n 's/^Exec=//p' "$entry")
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ -x "$bin/${exec%% *}" ] || { echo "Exec names no installed program: $exec"; return 1; }
  [[ " $exec " == *" --from-menu "* ]] || { echo "Exec does not pass --from-menu: $exec"; return 1; }
  [ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || { echo "no icon $icon"; return 1; }
  grep -q "<launchable type=\"desktop-id\">example.kestrun.RV450Kestrun.desktop</launchable>" \
    "$root"/usr/share/metainfo/*.metainfo.xml || { echo "metainfo launches another desktop entry"; return 1; }
}
check "the desktop entry starts an installed program from the menu with its icon" desktop_entry_fits

udev_rule() {
  grep -qx 'ATTRS{idVendor}=="xxxx", ATTRS{idProduct}=="yyyy", ENV{ID_MM_DEVICE_IGNORE}="1"' \
    "$doc/70-rv450-kestrun.rules"
}
check "the example udev rule keeps ModemManager away" udev_rule

changelog_version() {
  head -n 1 < <(zcat "$doc/changelog.Debian.gz") | grep -q "^rv450-kestrun ($version) " ||
    { echo "changelog does not start with version $version"; return 1; }
}
check "the changelog names the package's version" changelog_version

libraries_found() {
  for p in $programs; do
    if ldd "$bin/$p" | grep "not found"; then return 1; fi
  done
}
check "every program finds its libraries" libraries_found

# The programs run from the unpacked folder with a clean environment.
home=$work/home
mkdir -p "$home"
mkdir -m 700 "$work/runtime"
clean_env=(env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"
  XDG_RUNTIME_DIR="$work/runtime")
version_of() {
  local out
  out=$("${clean_env[@]}" "$bin/$1" --version) || return 1
  [ "$out" = "$1 $upstream" ] || { echo "got: $out"; return 1; }
}
help_of() {
  local out
  out=$("${clean_env[@]}" "$bin/$1" --help) || return 1
  grep -q "^Usage: $1" <<<"$out" || { echo "got: $out"; return 1; }
}
for p in $programs; do
  check "$p --version prints its version" version_of "$p"
  check "$p --help prints its usage" help_of "$p"
done

simulator_registers() {
  local log=$work/sim.log
  "${clean_env[@]}" "$bin/rv450-sim" --com 250 --ports-dir "$work/ports" --quiet >"$log" 2>&1 &
  local pid=$!
  pids+=("$pid")
  wait_for 30 grep -q "registered as COM250" "$log" || { cat "$log"; return 1; }
  [ -L "$work/ports/com250" ] || { echo "no link com250"; return 1; }
  kill -TERM "$pid"
  wait "$pid" || { echo "rv450-sim ended with $?"; return 1; }
  [ ! -e "$work/ports/com250" ] || { echo "link com250 left behind"; return 1; }
}
check "rv450-sim registers a port and ends on SIGTERM" simulator_registers

# The window: started as the menu starts it, it makes its data folder, shows
# Main Setting on the offscreen platform, and ends with 0 on SIGTERM as Cancel
# does (the signal is read by the dialog's event loop, so a 0 shows that the
# window came up). Nothing is written.
window_from_menu() {
  local log=$work/gui.log
  "${clean_env[@]}" QT_QPA_PLATFORM=offscreen "$bin/rv450-kestrun" --from-menu >"$log" 2>&1 &
  local pid=$!
  pids+=("$pid")
  wait_for 60 test -d "$home/data/rv450-kestrun" || { echo "no data folder"; cat "$log"; return 1; }
  kill -TERM "$pid"
  local status=0
  wait "$pid" || status=$?
  [ $status -eq 0 ] || { echo "rv450-kestrun ended with $status"; cat "$log"; return 1; }
  [ "$(stat -c %a "$home/data/rv450-kestrun")" = 700 ] || { echo "data folder not private"; return 1; }
  [ -z "$(ls -A "$home/data/rv450-kestrun")" ] || { echo "files written on Cancel"; return 1; }
}
check "rv450-kestrun from the menu comes up offscreen and keeps its files in XDG_DATA_HOME" window_from_menu

echo "package checks: $passed passed, $failed failed"
[ $failed -eq 0 ]
