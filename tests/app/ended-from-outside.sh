#!/usr/bin/env bash
# The real program ended from outside after an edit (SIGTERM, SIGHUP,
# SIGINT, its X server gone) and started twice for one list, on private X
# servers under a window manager, as root and as the unprivileged user
# "nobody" (when run as root).
#   ended-from-outside.sh PROGRAM
set -euo pipefail
program="$1"

# shellcheck source=SCRIPTDIR/../support/x-session.sh
source "$(dirname "$0")/../support/x-session.sh"

make_work_folder KILL
choose_users
if [[ "$(id -u)" == 0 && ${#users[@]} == 1 ]]; then
    echo "No user \"nobody\" here: the program runs as root only."
fi

# An X server with a window manager; sets $display and $xserver.
start_x() {
    start_x_server "$work/x$1" 1280x1024x24 -ac || fail "Xvfb did not start"
    start_window_manager "$work/x$1" || fail "openbox did not start"
}

# A home of the user's own: settings, temporary and runtime folders. Copies
# given the same home keep the same list.
make_home() {
    local user="$1" home="$work/home-$2"
    mkdir -p "$home/config" "$home/temp" "$home/runtime"
    chmod 700 "$home/runtime"
    chown -R "$user:" "$home"
    echo "$home"
}

# Starts the program as user with home on display; sets $pid.
start_program() {
    local user="$1" home="$2"
    local -a as=()
    [[ "$user" != "$(id -un)" ]] && as=(setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups)
    # As from a terminal: a script's background job starts with SIGINT
    # ignored, and the program keeps what it was started with.
    "${as[@]}" env --default-signal=INT HOME="$home" XDG_CONFIG_HOME="$home/config" TEMP="$home/temp" TMPDIR="$home/temp" \
        XDG_RUNTIME_DIR="$home/runtime" DISPLAY="$display" QT_QPA_PLATFORM=xcb "$program" \
        >>"$home/output.log" 2>&1 &
    pid=$!
    pids+=("$pid")
}

window_of() { DISPLAY="$display" xdotool search --all --onlyvisible --pid "$1" --name "^$2\$" | head -1; }
visible() { [[ -n "$(window_of "$1" "$2")" ]]; }
hidden() { [[ -z "$(window_of "$1" "$2")" ]]; }

# Types the text into the input box and presses Enter, through the keyboard.
answer() {
    DISPLAY="$display" xdotool windowactivate --sync "$1"
    DISPLAY="$display" xdotool type "$2"
    DISPLAY="$display" xdotool key Return
}

# "Add New" with a label and an amount, typed as a user types them.
add_row() {
    local program_pid="$1" label="$2" window
    await visible "$program_pid" Quintarra || fail "no main window"
    window="$(window_of "$program_pid" Quintarra)"
    DISPLAY="$display" xdotool mousemove --window "$window" 136 265 click 1
    await visible "$program_pid" "Input Asset Type" || fail "no label box"
    answer "$(window_of "$program_pid" "Input Asset Type")" "$label"
    await visible "$program_pid" "Input Amount" || fail "no amount box"
    answer "$(window_of "$program_pid" "Input Amount")" 1234
    await hidden "$program_pid" "Input Amount" || fail "the amount box stays"
}

# The program ends by itself with the given status, leaving no instance.
expect_end() {
    local program_pid="$1" status="$2" children
    children="$(pgrep -P "$program_pid" || true)"
    local code=0
    await gone "$program_pid" || fail "the program did not end"
    wait "$program_pid" || code=$?
    # Qt's X11 connection itself exits with 1 when the display goes, and its
    # user-interface thread at times crashes on the dead connection at once.
    [[ "$code" == "$status" || ("$status" == lost && "$code" != 0) ]] ||
        fail "ended with status $code, not $status"
    for child in $children; do await gone "$child" || fail "instance $child left running"; done
}

stored() { grep -q "$2" "$1/config/Marlowic.ini" 2>/dev/null; }

start_x 0
shared_display="$display"
for user in "${users[@]}"; do
    display="$shared_display"
    for signal in TERM HUP INT; do
        echo "== SIG$signal with an unsaved edit, as $user"
        home="$(make_home "$user" "$user-$signal")"
        start_program "$user" "$home"
        add_row "$pid" "Unsaved$signal"
        kill -s "$signal" "$pid"
        expect_end "$pid" 0
        stored "$home" "Unsaved$signal" || fail "the edit was not stored on SIG$signal"
        [[ -z "$(find "$home/temp" -name 'tervik*.xls')" ]] || fail "a workbook was left"
    done

    echo "== A second start for the same list, as $user"
    home="$(make_home "$user" "$user-twice")"
    start_program "$user" "$home"
    first=$pid
    add_row "$first" OnlyInA
    DISPLAY="$display" xdotool windowminimize --sync "$(window_of "$first" Quintarra)"
    start_program "$user" "$home"
    expect_end "$pid" 0
    await visible "$first" Quintarra || fail "the running copy did not come to the front"
    # Another settings folder is another list, kept by a copy of its own.
    other="$(make_home "$user" "$user-other")"
    start_program "$user" "$other"
    await visible "$pid" Quintarra || fail "a copy for another list did not start"
    kill -s TERM "$pid"
    expect_end "$pid" 0
    kill -s TERM "$first"
    expect_end "$first" 0
    stored "$home" OnlyInA || fail "the running copy's edit was lost"

    echo "== A start after a killed copy, as $user"
    start_program "$user" "$home"
    await visible "$pid" Quintarra || fail "no main window"
    kill -9 "$pid"
    start_program "$user" "$home"
    await visible "$pid" Quintarra || fail "a killed copy's socket kept the next start from running"
    kill -s TERM "$pid"
    expect_end "$pid" 0

    echo "== The X server gone with an unsaved edit, as $user"
    start_x "$user"
    home="$(make_home "$user" "$user-display")"
    start_program "$user" "$home"
    add_row "$pid" UnsavedDisplay
    kill -9 "$xserver"
    expect_end "$pid" lost
    # The row was stored when it was added; nothing is left to do at the end.
    await stored "$home" UnsavedDisplay || fail "the edit was not stored when the display went"
done
echo "All passed."
