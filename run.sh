#!/usr/bin/env bash
# Installs what is missing, builds and starts RV450 Kestrun.
#
#   ./run.sh               start the tracker simulator as COM200 and the tool
#   ./run.sh --real-port   start only the tool, for a tracker on a real port
#
# The tool keeps MainSetting.ini and AtLog.log in ./workdir (KESTRUN_WORKDIR).
# Without a display it runs under Xvfb, reads the simulated tracker once, saves
# a screenshot and prints its path.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" >/dev/null

workdir=${KESTRUN_WORKDIR:-$PWD/workdir}
mkdir -p "$workdir"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

if [ "${1:-}" != "--real-port" ]; then
  build/rv450-sim --com 200 --state "$workdir/tracker.state" > "$workdir/simulator.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do grep -q "registered as COM" "$workdir/simulator.log" && break; sleep 0.1; done
  head -n 1 "$workdir/simulator.log"
  if [ ! -f "$workdir/MainSetting.ini" ]; then
    # Preselect the simulator: the file stores the port's position in the list.
    position=$(build/rv450-sim --list-ports | awk '$2 == 200 { print $1 }')
    printf '[Main]\nGenPassword=5830\nComPort=%s\nBaudrate=1\n' "${position:-0}" > "$workdir/MainSetting.ini"
  fi
fi

tool="$PWD/build/rv450-kestrun"
if [ -n "${DISPLAY:-}" ]; then
  (cd "$workdir" && "$tool")
  exit 0
fi

# No display: run under Xvfb and take screenshots.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
sleep 1
(cd "$workdir" && exec "$tool") > "$workdir/tool.log" 2>&1 &
pids+=($!)
sleep 2
xdotool key Return                       # confirm Main Setting
sleep 2
import -window root "$workdir/screenshot-start.png"
xdotool mousemove 38 9 click 1 sleep 0.5 key Down Down Return   # Operation > Read All
sleep 15
import -window root "$workdir/screenshot.png"
echo "Screenshot after start-up: $workdir/screenshot-start.png"
echo "Screenshot after Read All: $workdir/screenshot.png"
