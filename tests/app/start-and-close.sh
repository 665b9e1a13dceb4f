#!/usr/bin/env bash
# The real program on a private X server without a window manager: closed at
# once after each of many starts, and started with SIGHUP ignored. As root and
# as the unprivileged user "nobody" (when run as root).
#   start-and-close.sh PROGRAM CLOSEWINDOW
set -euo pipefail
program="$1"
closewindow="$2"

# shellcheck source=SCRIPTDIR/../support/x-session.sh
source "$(dirname "$0")/../support/x-session.sh"

make_work_folder KILL
choose_users
# The command that runs what follows as the user; sets $as (an array). The
# program is then the very process started, so that signals reach it.
as_user() {
    as=()
    [[ "$1" != "$(id -un)" ]] && as=(setpriv --reuid="$1" --regid="$(id -g "$1")" --clear-groups)
    return 0
}

start_x_server "$work" 1280x1024x24 -ac || fail "Xvfb did not start"
export DISPLAY="$display"

# A home of the user's own. Sets $home.
make_home() {
    home="$work/home-$2"
    mkdir -p "$home/config" "$home/temp" "$home/runtime"
    chmod 700 "$home/runtime"
    chown -R "$1:" "$home"
}

# Starts the program as the user with $home, with env's options given;
# sets $pid.
start_program() {
    local user="$1"
    shift
    as_user "$user"
    "${as[@]}" env "$@" HOME="$home" XDG_CONFIG_HOME="$home/config" TMPDIR="$home/temp" \
        XDG_RUNTIME_DIR="$home/runtime" QT_QPA_PLATFORM=xcb "$program" >>"$home/output.log" 2>&1 &
    pid=$!
    pids+=("$pid")
}

main_window() { xdotool search --onlyvisible --pid "$1" --name '^Quintarra$' | head -1; }
box_shown() { [[ "$(xdotool search --onlyvisible --pid "$1" | wc -l)" -ge 2 ]]; }
has_window() { [[ -n "$(main_window "$1")" ]]; }
stored() { grep -q '^Assets=' "$home/config/Marlowic.ini" 2>/dev/null; }

# The program ends by itself with status 0.
expect_end() {
    local code=0
    await gone "$1" || fail "the program did not end"
    wait "$1" || code=$?
    [[ "$code" == 0 ]] || fail "ended with status $code"
}

for user in "${users[@]}"; do
    # Half the closes go to the first window that bears the program's name, as
    # soon as there is one, as a tool that looks windows up by name does; the
    # others to the main window as soon as it maps.
    for start in $(seq 12); do
        echo "== Start $start closed at once, as $user"
        make_home "$user" "$user-close-$start"
        start_program "$user"
        how=()
        ((start % 2 == 0)) && how=(--mapped)
        "$closewindow" Quintarra "${how[@]}" >/dev/null || fail "no window to close"
        expect_end "$pid"
        stored || fail "the list was not stored at the close"
    done

    echo "== Started with SIGHUP ignored, as $user"
    make_home "$user" "$user-nohup"
    start_program "$user" --ignore-signal=HUP
    await has_window "$pid" || fail "no main window"
    kill -s HUP "$pid"
    # "Help": its box shows only once the event loop has run past the signal.
    xdotool mousemove --window "$(main_window "$pid")" 60 55 click 1
    await box_shown "$pid" || fail "SIGHUP ended the program"
    # Ended from outside with the box open, it ends as closing its window does.
    kill -s TERM "$pid"
    expect_end "$pid"
done
echo "All passed."
