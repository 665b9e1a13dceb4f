# shellcheck shell=bash
# Sourced by the test scripts that run programs on a private X server, with or
# without a window manager. Defines functions only; nothing runs on sourcing.

# A private folder, $work, and a list of processes, $pids: at exit the
# processes are ended with the signal given (as TERM or KILL) and the folder
# is removed.
make_work_folder() {
    work="$(mktemp -d)"
    pids=()
    exit_signal="$1"
    trap end_work_folder EXIT
}
end_work_folder() {
    local process
    for process in "${pids[@]}"; do kill -s "$exit_signal" "$process" 2>/dev/null || true; done
    rm -rf "$work"
}

# Says what failed, with the program's output when $home has one, and exits.
fail() {
    echo "FAIL: $*" >&2
    [[ -n "${home:-}" && -e "$home/output.log" ]] && cat "$home/output.log" >&2
    exit 1
}

# Shows a log and says what failed, and exits.
give_up() {
    cat "$1" >&2
    echo "$2" >&2
    exit 1
}

# Waits for a command to succeed, trying every tenth of a second,
# $await_tenths times: a minute unless set (it may be slow under load).
await() {
    for _ in $(seq "${await_tenths:-600}"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}
gone() { ! kill -0 "$1" 2>/dev/null; }

# The users to run the program as, $users: this one, or root and then
# "nobody" (when there is one) when run as root. Opens $work to them.
choose_users() {
    chmod 755 "$work"
    users=(root)
    if [[ "$(id -u)" != 0 ]]; then
        users=("$(id -un)")
    elif id nobody >/dev/null 2>&1; then
        users+=(nobody)
    fi
}

# Starts an X server with the screen given (as 1280x1024x24) and Xvfb's other
# options, keeping its files in the folder given; sets $display and $xserver.
# Fails when it does not start.
start_x_server() {
    local dir="$1" screen="$2"
    shift 2
    mkdir -p "$dir"
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp "$@" 3>"$dir/display" 2>"$dir/xvfb.log" &
    xserver=$!
    pids+=("$xserver")
    await test -s "$dir/display" || return 1
    display=":$(tr -d '\n' <"$dir/display")"
}

# Starts a window manager (openbox) on $display, keeping its files in the
# folder given, and waits until it manages the screen. Fails when it does not.
start_window_manager() {
    local dir="$1"
    # openbox runs its start-up command once it manages the screen.
    DISPLAY="$display" openbox --startup "touch $dir/ready" >"$dir/openbox.log" 2>&1 &
    pids+=($!)
    await test -e "$dir/ready"
}
