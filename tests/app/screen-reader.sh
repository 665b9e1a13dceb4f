#!/usr/bin/env bash
# The real program read through the accessibility bus, as a screen reader
# reads it: a private X server and a private D-Bus session, whose bus starts
# the accessibility bus and its registry when first asked.
#   screen-reader.sh PROGRAM
set -euo pipefail
program="$1"
here="$(cd "$(dirname "$0")" && pwd)"

work="$(mktemp -d)"
pids=()
finish() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap finish EXIT

Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
[[ -s "$work/display" ]] || { cat "$work/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(tr -d '\n' <"$work/display")"

mkdir -p "$work/config" "$work/temp" "$work/runtime"
chmod 700 "$work/runtime"
export XDG_CONFIG_HOME="$work/config" TEMP="$work/temp" TMPDIR="$work/temp" XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QUINTARRA_IDLE_MINUTES=0
export BROWSER=true
dbus-run-session -- /usr/bin/python3 "$here/read-chart.py" "$program"
