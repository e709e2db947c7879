#!/usr/bin/env bash
# Installs the build into a temporary prefix and starts the installed program offscreen against
# the installed virtual sensor: it must find its resources, identify the sensor, keep its files
# out of the install folder, and end with exit code 0 when told to stop.
#   test_install.sh BUILD_DIR
set -euo pipefail
build="$1"
work="$(mktemp -d /tmp/rorir-install-XXXXXX)"
sensor_pid=""
program_pid=""
# Waits at most $2 seconds for process $1 to end; true when it did.
ended_within() {
  for _ in $(seq $(( $2 * 20 ))); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.05; done
  ! kill -0 "$1" 2>/dev/null
}
# Asks a process to end and kills it when it has not ended 5 s later.
stop() {
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || true
  ended_within "$1" 5 || kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  stop "$program_pid"
  stop "$sensor_pid"
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$work/sensor.log" ] && tail -5 "$work/sensor.log"; exit 1; }

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/rorir bin/rorir-sensor bin/rorir-probe bin/rorir-gateway lib/systemd/system/rorir-gateway@.service share/rorir/K-VOR-PX-Rorir-QMBv152.uir share/rorir/qz.bmp \
         share/applications/rorir.desktop share/icons/hicolor/scalable/apps/rorir.svg \
         share/icons/hicolor/48x48/apps/rorir.png share/man/man1/rorir.1.gz share/man/man1/rorir-sensor.1.gz share/man/man1/rorir-probe.1.gz; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done
grep -q '^Exec=rorir$' "$prefix/share/applications/rorir.desktop" || fail "desktop entry has no Exec line"

link="$work/sensor"
"$prefix/bin/rorir-sensor" --link "$link" --baud 0 --log >"$work/sensor.log" 2>&1 &
sensor_pid=$!
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
[ -e "$link" ] || fail "the sensor did not come up"

export HOME="$work/home"
mkdir -p "$HOME"
QT_QPA_PLATFORM=offscreen RORIR_COM1="$link" "$prefix/bin/rorir" >"$work/rorir.log" 2>&1 &
program_pid=$!
# Identification ends with the firmware request (order 7).
for _ in $(seq 200); do grep -q 'rx 00 55 00 07' "$work/sensor.log" && break; sleep 0.05; done
grep -q 'rx 00 55 00 07' "$work/sensor.log" || fail "the installed program did not identify the sensor"
kill -TERM "$program_pid"
# It must end within 20 s of the signal; one still running then is killed (by the clean-up).
ended_within "$program_pid" 20 || fail "still running 20 s after SIGTERM"
status=0
wait "$program_pid" || status=$?
program_pid=""
[ "$status" -eq 0 ] || fail "exit code $status after SIGTERM"
[ -d "$HOME/rorir" ] || fail "no data folder in the user's home"
# The installed probe runs the same link without a window.
probe_status=0
timeout 60 "$prefix/bin/rorir-probe" --port "$link" identify >"$work/probe.out" 2>&1 || probe_status=$?
[ "$probe_status" -eq 0 ] || fail "the installed probe ended with $probe_status: $(cat "$work/probe.out")"
grep -q '^type	' "$work/probe.out" || fail "the installed probe printed no type: $(cat "$work/probe.out")"
[ -z "$(ls "$prefix/bin" | grep -v -E '^rorir(-sensor|-bench|-probe|-gateway)?$')" ] || fail "files written into the install folder"
echo "installed program found its resources, identified the sensor and stopped cleanly; the installed probe identified it too"
