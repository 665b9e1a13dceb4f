#!/usr/bin/env bash
# Runs a test program on a private X server under a window manager (openbox),
# which gives windows a frame and a title bar as a desktop does. The screen is
# 1280x1024 unless QUINTARRA_TEST_SCREEN says otherwise (as 1920x1080x24).
#   under-window-manager.sh PROGRAM [ARGUMENTS...]
set -euo pipefail

work="$(mktemp -d)"
pids=()
finish() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap finish EXIT

Xvfb -displayfd 3 -screen 0 "${QUINTARRA_TEST_SCREEN:-1280x1024x24}" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
[[ -s "$work/display" ]] || { cat "$work/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(tr -d '\n' <"$work/display")"

# openbox runs its start-up command once it manages the screen.
openbox --startup "touch $work/ready" >"$work/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -e "$work/ready" ]] && break; sleep 0.1; done
[[ -e "$work/ready" ]] || { cat "$work/openbox.log" >&2; echo "openbox did not start" >&2; exit 1; }

export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$work"
"$@"
