#!/usr/bin/env bash
# A quit signal ends the tool while it shows its start-up error box (here: it
# cannot make its work folder). The box closes as its OK button would and the
# tool exits with status 1.
#
#   tests/app/quit_at_error_box_test.sh RV450-KESTRUN
set -euo pipefail
kestrun=$(realpath "$1")
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
touch "$work/file"  # a folder cannot be made below a file, not even by root
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

"$kestrun" --workdir "$work/file/wd" 2>"$work/err" &
pid=$!
# It says why on standard error just before the box shows.
for _ in $(seq 300); do
  grep -q "cannot make the folder" "$work/err" && break
  sleep 0.1
done
if ! grep -q "cannot make the folder" "$work/err"; then
  echo "FAIL  no error line within 30 s"
  cat "$work/err"
  exit 1
fi
kill -TERM "$pid"
for _ in $(seq 300); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "FAIL  still running 30 s after SIGTERM"
  exit 1
fi
status=0
wait "$pid" || status=$?
pid=
if [ "$status" -ne 1 ]; then
  echo "FAIL  exit status $status, expected 1"
  cat "$work/err"
  exit 1
fi
echo "ok    SIGTERM closes the start-up error box and the tool exits with 1"
