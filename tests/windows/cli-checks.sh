#!/usr/bin/env bash
# rv450-cli.exe under Wine against the harness's simulators (called by
# scripts/windows/test-wine.sh, which links them in as COM ports and exports
# WINEPREFIX and KESTRUN_WINE_COMS): read, write, verify, identify and
# provision, and a read file that equals the Linux build's read of the same
# simulator except for line ends, also in a folder with a non-ASCII name.
#   tests/windows/cli-checks.sh WINE WINDOWS_BUILD LINUX_BUILD PORTS_DIR
set -uo pipefail
wine=$1 exe=$2/rv450-cli.exe linux_cli=$3/rv450-cli ports=$4
IFS=, read -r -a coms <<<"${KESTRUN_WINE_COMS:?the harness names its COM ports}"
[ ${#coms[@]} -ge 3 ] || { echo "cli checks: three COM ports needed, got ${KESTRUN_WINE_COMS}"; exit 1; }
a=${coms[0]} b=${coms[1]} c=${coms[2]}

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrun-cli-checks-XXXXXX")
trap 'rm -rf "$work"' EXIT
# The Linux build finds the same simulators as COM ports in its ports folder.
mkdir -p "$work/config/rv450-kestrun/ports"
for n in "${coms[@]}"; do ln -s "$(readlink -f "$ports/com$n")" "$work/config/rv450-kestrun/ports/com$n"; done

failed=0 count=0 rc=0
fail() {
  echo "FAIL: $*"
  failed=$((failed + 1))
}
# win NAME ARGS...: rv450-cli.exe in $work, its output in $work/NAME.out.
win() {
  local name=$1
  shift
  count=$((count + 1))
  (cd "$work" && "$wine" "$exe" "$@" >"$name.out" 2>"$name.err")
  rc=$?
  return $rc
}
linux() { (cd "$work" && XDG_CONFIG_HOME="$work/config" "$linux_cli" "$@"); }
show() { sed 's/^/    /' "$work/$1.out" "$work/$1.err" | head -20; }

# read: the same bytes as the Linux build's read but for CRLF line ends.
if ! win read read --port "$a" --pacing fast --no-journal -o win.ini; then
  fail "rv450-cli.exe read --port $a ended with $rc"
  show read
elif ! linux read --port "$a" --pacing fast --no-journal -o linux.ini -q >/dev/null 2>&1; then
  fail "the Linux rv450-cli read of COM$a failed"
elif ! cmp -s <(tr -d '\r' <"$work/win.ini") "$work/linux.ini"; then
  fail "rv450-cli.exe read of COM$a differs from the Linux read (CRLF taken as LF):"
  diff <(tr -d '\r' <"$work/win.ini") "$work/linux.ini" | head -10
fi

# A folder named beyond the ANSI code page: the -o file lands in it, the same
# bytes as win.ini (the command line reaches the program as UTF-16; Wine
# reads this script's UTF-8 names in a UTF-8 locale, whatever the caller's).
mkdir "$work/Grüß✓"
if ! LC_ALL=C.UTF-8 win utf8 read --port "$a" --pacing fast --no-journal -o 'Grüß✓/ü.ini'; then
  fail "rv450-cli.exe read --port $a -o 'Grüß✓/ü.ini' ended with $rc"
  show utf8
elif ! cmp -s "$work/Grüß✓/ü.ini" "$work/win.ini"; then
  fail "rv450-cli.exe read -o 'Grüß✓/ü.ini' did not write that file as it wrote win.ini"
fi

# write: a changed APN reaches the tracker (the Linux build reads it back).
sed 's/^APN=.*/APN=kestrun.wine/' "$work/win.ini" >"$work/changed.ini"
if ! win write write changed.ini --port "$b" --pacing fast --no-journal; then
  fail "rv450-cli.exe write changed.ini --port $b ended with $rc"
  show write
elif ! linux read --port "$b" --pacing fast --no-journal -o back.ini -q >/dev/null 2>&1 ||
  ! grep -q '^APN=kestrun.wine$' "$work/back.ini"; then
  fail "after rv450-cli.exe write, COM$b does not hold APN=kestrun.wine"
fi

# verify: write, read back, compare.
if ! win verify verify changed.ini --port "$c" --pacing fast --no-journal; then
  fail "rv450-cli.exe verify changed.ini --port $c ended with $rc"
  show verify
fi

# identify: one row per tracker, each with its IMEI.
if ! win identify identify --port "$a,$b,$c" --no-journal; then
  fail "rv450-cli.exe identify --port $a,$b,$c ended with $rc"
  show identify
else
  for n in "$a" "$b" "$c"; do
    grep -Eq "^COM$n +.* [0-9]{15} " "$work/identify.out" || fail "identify shows no IMEI row for COM$n"
  done
fi

# provision: each tracker's row of a small table over the template, read back
# and compared, into a journal.
printf 'COM,RVSRI/APN\nCOM%s,apn.first\nCOM%s,apn.second\n' "$a" "$b" >"$work/fleet.csv"
if ! win provision provision win.ini --table fleet.csv --port "$a,$b" --pacing fast --journal journal.sqlite; then
  fail "rv450-cli.exe provision win.ini --table fleet.csv --port $a,$b ended with $rc"
  show provision
else
  linux read --port "$b" --pacing fast --no-journal -o provisioned.ini -q >/dev/null 2>&1
  grep -q '^APN=apn.second$' "$work/provisioned.ini" || fail "after provision, COM$b does not hold its row's APN"
  win journal journal --journal journal.sqlite || fail "rv450-cli.exe journal ended with $rc"
  [ "$(grep -c 'provision' "$work/journal.out")" -ge 2 ] || {
    fail "the journal holds no provision row per tracker"
    show journal
  }
fi

# The Windows device name of a port is a port too.
if ! win device identify --port "\\\\.\\COM$c" --no-journal; then
  fail "rv450-cli.exe identify --port '\\\\.\\COM$c' ended with $rc"
  show device
elif ! grep -Eq "^COM$c +.* [0-9]{15} " "$work/device.out"; then
  fail "identify --port '\\\\.\\COM$c' shows no IMEI row for COM$c"
fi

# labels: a PDF of the provisioned trackers whose QR codes, rendered and
# decoded on this side, are their IMEIs.
imeis=$(for n in "$a" "$b"; do sed -En "s/^COM$n +.* ([0-9]{15}) .*/\1/p" "$work/identify.out"; done | sort)
if ! command -v pdftoppm >/dev/null || ! command -v zbarimg >/dev/null; then
  fail "labels: pdftoppm and zbarimg are missing (Debian: poppler-utils, zbar-tools)"
elif ! win labels labels --journal journal.sqlite --layout 62x29 -o labels.pdf; then
  fail "rv450-cli.exe labels --journal journal.sqlite -o labels.pdf ended with $rc"
  show labels
elif ! pdftoppm -r 300 -png "$work/labels.pdf" "$work/label" ||
  [ "$(zbarimg --raw -q "$work"/label-*.png 2>/dev/null | sort)" != "$imeis" ] || [ -z "$imeis" ]; then
  fail "the QR codes of rv450-cli.exe's labels.pdf do not decode to the provisioned IMEIs:" $imeis
fi

echo "rv450-cli.exe checks: $count runs, $failed failed"
[ $failed -eq 0 ]
