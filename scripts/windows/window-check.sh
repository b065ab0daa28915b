#!/usr/bin/env bash
# Starts rv450-kestrun.exe under Wine on a virtual X display of 1366x768,
# against a Linux rv450-sim linked in as COM7 of the Wine prefix and registered
# in SERIALCOMM, confirms Main Setting (MainSetting.ini names COM7), runs
# Operation > Read All from the keyboard, waits until AtLog.log holds the
# tracker's replies and saves a screenshot for a look by eye.
#   scripts/windows/window-check.sh PROGRAM_FOLDER RV450_SIM SCREENSHOT.png
set -euo pipefail
folder=$(cd "$1" && pwd)
sim=$2
shot=$3
com=7
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrun-window-XXXXXX")
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
pids=()
cleanup() {
  "$wineserver" -k >/dev/null 2>&1 || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A display of its own, the first free number from 91.
display=91
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=":$display"
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

# One wineserver for the whole check: HARDWARE\DEVICEMAP lives as long as it.
"$wineserver" -p >/dev/null 2>&1 || true
"$wine" wineboot -i >/dev/null 2>&1

"$sim" --com "$com" --ports-dir "$work" --awake --quiet >"$work/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -L "$work/com$com" ] && break; sleep 0.1; done
pty=$(readlink -f "$work/com$com")
[ -c "$pty" ] || { echo "rv450-sim did not start:"; cat "$work/sim.log"; exit 1; }
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com$com"
"$wine" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "\\Device\\Serial$com" /t REG_SZ /d "COM$com" /f >/dev/null

# Started from a console: the files live in the working folder.
mkdir -p "$work/run"
printf '[Main]\r\nGenPassword=5830\r\nComPort=0\r\nComPortNumber=%s\r\nBaudrate=1\r\n' "$com" >"$work/run/MainSetting.ini"
(cd "$work/run" && "$wine" "$folder/rv450-kestrun.exe" -platform windows:fontengine=freetype >"$work/window.log" 2>&1) &
pids+=($!)
disown -a  # no "Killed" notes when the check ends them

# Waits until a window whose name matches $1 is shown; prints its id.
wait_window() {
  for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "no window named $1 appeared" >&2
  import -window root "$shot" 2>/dev/null || true
  return 1
}
dialog=$(wait_window 'Main Setting')
# No window manager runs on the display: keys go to the window given the focus.
xdotool windowfocus --sync "$dialog"
xdotool key Return
main=$(wait_window 'RV450 Kestrun')
# The port check opens the port once; Read All after it.
for _ in $(seq 100); do grep -qs 'AT' "$work/run/AtLog.log" && break; sleep 0.1; done
sleep 1
xdotool windowfocus --sync "$main"
xdotool key alt+o
sleep 0.5
xdotool key Down Return  # Send All is first, Read All second
# Read All ends with the tracker's last group: wait until the log has not grown
# for five seconds (a group's reply comes well within that).
last=-1
still=0
for _ in $(seq 180); do
  size=$(stat -c %s "$work/run/AtLog.log" 2>/dev/null || echo 0)
  if [ "$size" = "$last" ]; then still=$((still + 1)); else still=0; fi
  [ $still -ge 5 ] && break
  last=$size
  sleep 1
done
import -window root "$shot"
cp "$work/run/AtLog.log" "${shot%.png}-AtLog.log" 2>/dev/null || true
echo "screenshot: $shot"
