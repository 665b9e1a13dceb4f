#!/usr/bin/env bash
# The program run as root on a machine where LibreOffice has never started:
# the folders its instances make for all users (the extension cache) let the
# other users' LibreOffice start afterwards, while the instances' own folders
# and pipes stay root's alone. The first start is staged in a mount namespace
# of its own, with an empty extension cache over the real one.
#   first_start_as_root.sh BUILD_DIR ENGINE_LIFECYCLE_TEST
# Then a cache folder that an older run made root's alone: the program, run as
# that other user, names the folder instead of suggesting to install LibreOffice.
set -euo pipefail

skip() { echo "SKIP: $*"; exit 77; }
build="$(cd "$1" && pwd)"
lifecycle="$(readlink -f "$2")"
cache="$(readlink -f /usr/lib/libreoffice/share/uno_packages/cache)"

if [[ -z "${QUINTARRA_IN_OWN_MOUNTS:-}" ]]; then
    [[ "$(id -u)" == 0 ]] || skip "only root can stage LibreOffice's first start on the machine"
    id nobody >/dev/null 2>&1 || skip "there is no user 'nobody' to start LibreOffice as"
    unshare -m --propagation private true 2>/dev/null || skip "this machine forbids mount namespaces"
    QUINTARRA_IN_OWN_MOUNTS=1 exec unshare -m --propagation private bash "$0" "$@"
fi
mount -t tmpfs -o mode=0755 quintarra-test "$cache" || skip "cannot mount a file system over $cache"

work="$(mktemp -d)"
chmod 0755 "$work"
program=0
finish() {
    if [[ "$program" != 0 ]]; then
        kill "$program" 2>/dev/null
        wait "$program" 2>/dev/null
        TMPDIR="$work/tmp" "$lifecycle" --start-an-instance >/dev/null
    fi
    rm -rf "$work"
}
trap finish EXIT

# Root's usual umask, as a desktop session or sudo passes it on.
umask 022
mkdir -m 0700 "$work/tmp"
HOME="$work" XDG_CONFIG_HOME="$work/config" TMPDIR="$work/tmp" QT_QPA_PLATFORM=offscreen \
    "$build/quintarra" >"$work/program.log" 2>&1 &
program=$!

# Until both spares listen on their pipes: by then each instance has started
# in full, and the first made the extension cache.
pipes() { find /tmp -maxdepth 1 -type s -name "OSL_PIPE_0_quintarra-$program-*" 2>/dev/null; }
for _ in $(seq 1200); do
    [[ "$(pipes | wc -l)" -ge 2 ]] && break
    kill -0 "$program" || { cat "$work/program.log"; echo "the program ended"; exit 1; }
    sleep 0.1
done
[[ "$(pipes | wc -l)" -ge 2 ]] || { echo "no spares started within two minutes"; exit 1; }

status=0
for folder in "$cache"/*/; do
    mode="$(stat -c %a "$folder")"
    [[ $(( 8#$mode & 8#005 )) == 5 ]] || { echo "others cannot enter $folder (mode $mode)"; status=1; }
done
[[ -n "$(ls -A "$cache")" ]] || { echo "the instances made nothing in $cache"; status=1; }
for folder in "$work/tmp/quintarra-engine-0"/*/; do
    mode="$(stat -c %a "$folder")"
    [[ "$mode" == 700 ]] || { echo "instance folder $folder has mode $mode"; status=1; }
done
for pipe in $(pipes); do
    mode="$(stat -c %a "$pipe")"
    [[ $(( 8#$mode & 8#077 )) == 0 ]] || { echo "pipe $pipe has mode $mode"; status=1; }
done
kill "$program"
wait "$program" || true
program=0
# The next start in that temporary folder sweeps what the ended run's instances left.
TMPDIR="$work/tmp" "$lifecycle" --start-an-instance >/dev/null

# Another user's LibreOffice, on a profile of its own.
other="$work/other"
mkdir "$other"
printf 'Savings,25000\n' >"$other/list.csv"
chown -R nobody "$other"
# 81: a first start on a new profile asks to be started again, as the
# launcher does.
for _ in 1 2; do
    started=0
    HOME="$other" setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups \
        /usr/lib/libreoffice/program/soffice.bin --headless --norestore \
        "-env:UserInstallation=file://$other/profile" --convert-to xls --outdir "$other" "$other/list.csv" \
        >"$other/log" 2>&1 || started=$?
    [[ "$started" == 81 ]] || break
done
if [[ "$started" != 0 || ! -s "$other/list.xls" ]]; then
    echo "another user's LibreOffice did not start (exit $started):"; head -3 "$other/log"; status=1
fi
# Root with that user's home, as sudo -E runs it: the instance makes nothing
# of root's there, such as a ~/.config the user could no longer enter.
borrowed="$work/borrowed"
mkdir "$borrowed"
chown nobody "$borrowed"
HOME="$borrowed" TMPDIR="$work/tmp" "$lifecycle" --start-an-instance >/dev/null
if [[ -n "$(find "$borrowed" -mindepth 1 -user root)" ]]; then
    echo "root's instance left in the user's home:"; find "$borrowed" -mindepth 1 -user root | head -5; status=1
fi

chmod 0700 "$cache/uno_packages"
mkdir -m 0700 "$other/tmp"
chown nobody "$other/tmp"
said="$(cd "$other" && HOME="$other" TMPDIR="$other/tmp" setpriv --reuid=nobody --regid="$(id -g nobody)" \
        --clear-groups "$lifecycle" --start-an-instance 2>/dev/null)" || true
if [[ "$said" != "blocked: "*"$cache/uno_packages (Permission denied)"* ]]; then
    echo "a start barred by $cache/uno_packages said: $said"; status=1
fi
exit "$status"
