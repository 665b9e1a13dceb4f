#!/usr/bin/env bash
# The real program killed (SIGKILL: no handler runs) after a change: the row
# added, the list cleared and a step undone are each stored already. Runs on
# a private X server under a window manager, as root and as the unprivileged
# user "nobody" (when run as root).
#   killed-after-change.sh PROGRAM
set -euo pipefail
program="$1"

# shellcheck source=SCRIPTDIR/../support/x-session.sh
source "$(dirname "$0")/../support/x-session.sh"

make_work_folder KILL
choose_users

start_x_server "$work" 1280x1024x24 -ac || fail "Xvfb did not start"
start_window_manager "$work" || fail "openbox did not start"

start_program() {
    local user="$1"
    local -a as=()
    [[ "$user" != "$(id -un)" ]] && as=(setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups)
    "${as[@]}" env HOME="$home" XDG_CONFIG_HOME="$home/config" TEMP="$home/temp" TMPDIR="$home/temp" \
        XDG_RUNTIME_DIR="$home/runtime" DISPLAY="$display" QT_QPA_PLATFORM=xcb "$program" \
        >>"$home/output.log" 2>&1 &
    pid=$!
    pids+=("$pid")
    await visible "$pid" Quintarra || fail "no main window"
}

window_of() { DISPLAY="$display" xdotool search --all --onlyvisible --pid "$1" --name "^$2\$" | head -1; }
visible() { [[ -n "$(window_of "$1" "$2")" ]]; }
hidden() { [[ -z "$(window_of "$1" "$2")" ]]; }

# A click at a point of the main window, in its own pixels.
click() {
    DISPLAY="$display" xdotool mousemove --window "$(window_of "$pid" Quintarra)" "$1" "$2" click 1
}

answer() {
    DISPLAY="$display" xdotool windowactivate --sync "$1"
    DISPLAY="$display" xdotool type "$2"
    DISPLAY="$display" xdotool key Return
}

add_row() {
    click 136 265   # "Add New"
    await visible "$pid" "Input Asset Type" || fail "no label box"
    answer "$(window_of "$pid" "Input Asset Type")" "$1"
    await visible "$pid" "Input Amount" || fail "no amount box"
    answer "$(window_of "$pid" "Input Amount")" 1234
    await hidden "$pid" "Input Amount" || fail "the amount box stays"
}

assets() { grep '^Assets=' "$home/config/Marlowic.ini" 2>/dev/null; }
stored() { [[ "$(assets)" == "Assets=$1" ]]; }

# Kills the program with no chance to store, and checks what it left.
kill_and_expect() {
    kill -9 "$pid"
    await gone "$pid" || fail "the program outlived SIGKILL"
    wait "$pid" 2>/dev/null || true
    stored "$1" || fail "after SIGKILL the list stored is \"$(assets)\", not \"$1\""
}

for user in "${users[@]}"; do
    home="$work/home-$user"
    mkdir -p "$home/config" "$home/temp" "$home/runtime"
    chmod 700 "$home/runtime"
    chown -R "$user:" "$home"

    echo "== A row added, then SIGKILL, as $user"
    start_program "$user"
    add_row Killed
    sample="Savings||SEP1||25000||SEP2||401k||SEP1||55000||SEP2||Stocks||SEP1||15000||SEP2||House||SEP1||250000||SEP2||Bonds||SEP1||11000||SEP2||Car||SEP1||7500||SEP2||"
    await stored "${sample}Killed||SEP1||1234||SEP2||" || fail "the added row was not stored"
    kill_and_expect "${sample}Killed||SEP1||1234||SEP2||"

    echo "== Clear List, then SIGKILL, as $user"
    start_program "$user"
    click 400 299   # "Clear List"
    await stored "" || fail "the cleared list was not stored"
    kill_and_expect ""

    echo "== A row added and undone, then SIGKILL, as $user"
    start_program "$user"
    add_row Undone
    await stored "Undone||SEP1||1234||SEP2||" || fail "the added row was not stored"
    DISPLAY="$display" xdotool windowactivate --sync "$(window_of "$pid" Quintarra)" key ctrl+z
    await stored "" || fail "the undo was not stored"
    kill_and_expect ""
done
echo "All passed."
