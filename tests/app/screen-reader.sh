#!/usr/bin/env bash
# The real program read through the accessibility bus, as a screen reader
# reads it: a private X server and a private D-Bus session, whose bus starts
# the accessibility bus and its registry when first asked.
#   screen-reader.sh PROGRAM
set -euo pipefail
program="$1"
here="$(cd "$(dirname "$0")" && pwd)"

# shellcheck source=SCRIPTDIR/../support/x-session.sh
source "$(dirname "$0")/../support/x-session.sh"

make_work_folder TERM
await_tenths=100
start_x_server "$work" 1920x1080x24 || give_up "$work/xvfb.log" "Xvfb did not start"
export DISPLAY="$display"

mkdir -p "$work/config" "$work/temp" "$work/runtime"
chmod 700 "$work/runtime"
export XDG_CONFIG_HOME="$work/config" TEMP="$work/temp" TMPDIR="$work/temp" XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QUINTARRA_IDLE_MINUTES=0
export BROWSER=true
dbus-run-session -- /usr/bin/python3 "$here/read-chart.py" "$program"
