#!/usr/bin/env bash
# The real program while its chart waits on the engine, on a private X server
# under a window manager: another copy keeps the picture's name, as a long
# list keeps the engine busy. The progress dialog comes, a second start is
# answered meanwhile, Escape ends the chart with nothing left, and a quit
# signal during the next one ends the program with its list stored. As the
# unprivileged user "nobody" when run as root, so that LibreOffice instances
# of root's own (another program's, another test's) are none of its business.
#   chart-in-progress.sh PROGRAM
set -euo pipefail
program="$1"

# shellcheck source=SCRIPTDIR/../support/x-session.sh
source "$(dirname "$0")/../support/x-session.sh"

make_work_folder KILL
start_x_server "$work/x" 1280x1024x24 -ac || fail "Xvfb did not start"
start_window_manager "$work/x" || fail "openbox did not start"

choose_users
user="${users[-1]}"
home="$work/home"
mkdir -p "$home/config" "$home/temp" "$home/tmp" "$home/runtime"
chmod 700 "$home" "$home/temp" "$home/tmp" "$home/runtime"
chown -R "$user:" "$home"
as=()
[[ "$user" != "$(id -un)" ]] && as=(setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups)

# Starts the program on the home; sets $pid.
start_program() {
    "${as[@]}" env HOME="$home" XDG_CONFIG_HOME="$home/config" TEMP="$home/temp" TMPDIR="$home/tmp" \
        XDG_RUNTIME_DIR="$home/runtime" DISPLAY="$display" QT_QPA_PLATFORM=xcb "$program" \
        >>"$home/output.log" 2>&1 &
    pid=$!
    pids+=("$pid")
}

# The program's visible windows: the main window, and the progress dialog
# while one shows (both are titled after the program).
windows() { DISPLAY="$display" xdotool search --all --onlyvisible --pid "$1" --name '^Quintarra$' 2>/dev/null || true; }
window_count_is() { [[ "$(windows "$1" | grep -c .)" == "$2" ]]; }
dialog_of() { windows "$1" | grep -vx "$2" | head -1; }

# Clicks "Start Creating Template" and waits for the progress dialog; sets $dialog.
start_chart() {
    DISPLAY="$display" xdotool mousemove --window "$main" 260 20 click 1
    await window_count_is "$pid" 2 || fail "no progress dialog while the chart waits"
    dialog="$(dialog_of "$pid" "$main")"
}

leftovers() { find "$home/temp" -mindepth 1 -maxdepth 1 ! -name .temp.bmp.lock; }
# The chart's files may go a moment after its window: asked again each time.
nothing_left() { [[ -z "$(leftovers)" ]]; }

start_program
first=$pid
await window_count_is "$first" 1 || fail "no main window"
main="$(windows "$first")"
# The holder is the process that sleeps, so that ending it lets the name go.
flock --no-fork "$home/temp/.temp.bmp.lock" sleep 600 </dev/null >/dev/null 2>&1 &
pids+=($!)
await test -e "$home/temp/.temp.bmp.lock"

echo "== A second start while the chart waits, as $user"
start_chart
start_program
code=0
await gone "$pid" || fail "the second start was not answered"
wait "$pid" || code=$?
[[ "$code" == 0 ]] || fail "the second start ended with status $code"
window_count_is "$first" 2 || fail "the chart ended before the second start was answered"

echo "== Escape ends the chart, as $user"
# Into the focused dialog: a key sent to a window that closes on its press is
# never released, and repeats into every dialog after it.
DISPLAY="$display" xdotool windowactivate --sync "$dialog"
DISPLAY="$display" xdotool key Escape
only_main_shows() { [[ "$(windows "$first")" == "$main" ]]; }
await only_main_shows || fail "not the main window alone after Escape: $(windows "$first" | tr '\n' ' ')(main $main)"
await nothing_left || fail "left in the temporary folder: $(leftovers)"

echo "== SIGTERM while the next chart waits, as $user"
pid=$first
start_chart
children="$(pgrep -P "$first" || true)"
kill -s TERM "$first"
await gone "$first" || fail "the program did not end on SIGTERM"
code=0
wait "$first" || code=$?
[[ "$code" == 0 ]] || fail "ended with status $code"
for child in $children; do await gone "$child" || fail "instance $child left running"; done
[[ -z "$(leftovers)" ]] || fail "left in the temporary folder: $(leftovers)"
grep -q Savings "$home/config/Marlowic.ini" || fail "the list was not stored"
echo "All passed."
