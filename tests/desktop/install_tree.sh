#!/usr/bin/env bash
# Installs the build into a fresh prefix and starts the installed program the
# ways a user does: the launcher on the PATH, a link of the user's own, and the
# desktop entry's command line.
set -euo pipefail
build=$1 desktop_files=$2
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

program=$prefix/lib/quintarra/quintarra
for file in lib/quintarra/quintarra lib/quintarra/HAND-M.CUR lib/quintarra/x/o.cjs \
            share/applications/com.marlowic.Quintarra.desktop \
            share/metainfo/com.marlowic.Quintarra.metainfo.xml \
            share/icons/hicolor/scalable/apps/com.marlowic.Quintarra.svg \
            share/man/man1/quintarra.1.gz share/doc/quintarra/copyright; do
    [[ -f $prefix/$file ]] || fail "$file not installed"
done
for size in 16 32 48 64 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/com.marlowic.Quintarra.png
    [[ -f $icon ]] || fail "no ${size}px icon"
    [[ $(od -An -tu1 -j16 -N8 "$icon" | awk '{print $3*256+$4, $7*256+$8}') == "$size $size" ]] \
        || fail "the ${size}px icon has another size"
done
[[ -x $program ]] || fail "the program is not executable"
[[ -L $prefix/bin/quintarra && $(readlink -f "$prefix/bin/quintarra") == "$(readlink -f "$program")" ]] \
    || fail "bin/quintarra does not lead to the program"

# The desktop entry names what was installed.
entry=$desktop_files/com.marlowic.Quintarra.desktop
grep -qx 'Icon=com.marlowic.Quintarra' "$entry" || fail "the entry's icon is not the installed one"
exec_line=$(sed -n 's/^Exec=//p' "$entry")

# Each start must come up and stay up with its own settings and temporary
# folder. BROWSER keeps the maker's page, opened on one start in a hundred,
# from reaching a real browser.
declare -A started
start() {
    local name=$1; shift
    mkdir -p "$work/$name/config" "$work/$name/temp"
    XDG_CONFIG_HOME=$work/$name/config TEMP=$work/$name/temp BROWSER=true "$@" \
        >"$work/$name/out" 2>&1 &
    started[$name]=$!
    pids+=($!)
}
mkdir -p "$work/own-bin"
ln -s "$prefix/bin/quintarra" "$work/own-bin/my-charts"

PATH=$prefix/bin:$PATH start launcher quintarra
start link "$work/own-bin/my-charts"
PATH=$prefix/bin:$PATH start menu $exec_line
sleep 3
for name in "${!started[@]}"; do
    pid=${started[$name]}
    kill -0 "$pid" 2>/dev/null || { cat "$work/$name/out" >&2; fail "the start through the $name ended"; }
    [[ $(readlink -f /proc/$pid/exe) == "$(readlink -f "$program")" ]] \
        || fail "the start through the $name runs $(readlink -f /proc/$pid/exe)"
done

# The installed program answers the command line as the built one does.
[[ $("$prefix/bin/quintarra" --version) == "quintarra $(sed -n 's/.*CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")" ]] \
    || fail "--version answers $("$prefix/bin/quintarra" --version)"
echo "install tree and three starts: ok"
