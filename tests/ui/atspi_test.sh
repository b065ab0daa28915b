#!/usr/bin/env bash
# The window driven through the accessibility bus (AT-SPI), as a screen reader
# or voice control drives it: Xvfb on a free display, a private D-Bus session
# (the AT-SPI bus starts on demand), the tracker simulator as COM240 in a
# private ports folder, and atspi_walk.py acting on the real program.
#
#   tests/ui/atspi_test.sh RV450-KESTRUN RV450-SIM
set -euo pipefail
kestrun=$(realpath "$1")
sim=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

wait_for() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    if [ $SECONDS -ge $deadline ]; then
      echo "timed out: $*" >&2
      return 1
    fi
    sleep 0.1
  done
}

# -noreset: the server keeps its state when its last client leaves, so no
# client can arrive in the middle of a reset.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for 30 test -s "$work/display"
export DISPLAY=:$(head -n 1 "$work/display")
if ! wait_for 30 xdpyinfo >/dev/null 2>&1; then
  echo "the X server on $DISPLAY accepts no connection" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi

export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM  # the real X11 platform, whose accessibility bridge talks AT-SPI
com=240
"$sim" --com $com --quiet >"$work/sim.log" 2>&1 &
pids+=($!)
wait_for 30 grep -q "registered as COM$com" "$work/sim.log"

workdir=$work/workdir
mkdir -p "$workdir"
position=$("$sim" --list-ports | awk -v com=$com '$2 == com { print $1 }')
printf '[Main]\nGenPassword=5830\nComPort=%s\nBaudrate=1\n' "$position" >"$workdir/MainSetting.ini"

status=0
# Debian's own Python, which has python3-gi (another python3 may come first on PATH).
dbus-run-session -- /usr/bin/python3 "$here/atspi_walk.py" "$kestrun" "$workdir" $com || status=$?
if [ $status -ne 0 ]; then
  echo "--- program output"
  cat "$workdir/kestrun.log" || true
  echo "--- X server on $DISPLAY (pid ${pids[0]}): $(kill -0 "${pids[0]}" 2>/dev/null && echo running || echo gone)"
  xdpyinfo >/dev/null 2>&1 && echo "it accepts a connection now" || echo "it refuses a connection now"
  cat "$work/xvfb.log" || true
fi
exit $status
