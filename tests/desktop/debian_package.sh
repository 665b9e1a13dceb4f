#!/usr/bin/env bash
# Builds the Debian package and checks what apt would see: the control data,
# the files it lays down, and lintian's verdict.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log") || { cat "$work/cpack.log" >&2; fail "cpack"; }
version=$(sed -n 's/.*CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
deb=$work/quintarra_${version}_${arch}.deb
[[ -f $deb ]] || fail "no $(basename "$deb"); made: $(ls "$work")"

field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == quintarra ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version: $(field Version)"
[[ $(field Architecture) == "$arch" ]] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
for needed in libqt6widgets6 libqt6gui6 libqt6core6 libreoffice-calc-nogui libreoffice-draw-nogui \
              libuno-cppu3 fonts-liberation2 fonts-crosextra-caladea; do
    [[ ", $depends," == *", $needed"[\ ,]* || $depends == *"| $needed"* || $depends == *"$needed |"* ]] \
        || fail "Depends lacks $needed: $depends"
done
[[ $depends != *-dev* ]] || fail "Depends names a development package: $depends"

dpkg-deb -c "$deb" | awk '{$1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print}' >"$work/files"
for file in ./usr/lib/quintarra/quintarra ./usr/lib/quintarra/HAND-M.CUR ./usr/lib/quintarra/x/o.cjs \
            ./usr/share/applications/com.marlowic.Quintarra.desktop \
            ./usr/share/metainfo/com.marlowic.Quintarra.metainfo.xml \
            ./usr/share/icons/hicolor/48x48/apps/com.marlowic.Quintarra.png \
            ./usr/share/icons/hicolor/scalable/apps/com.marlowic.Quintarra.svg \
            ./usr/share/doc/quintarra/copyright ./usr/share/doc/quintarra/changelog.gz; do
    grep -q "^$file\$" "$work/files" || fail "the package lacks $file"
done
grep -qx './usr/bin/quintarra -> ../lib/quintarra/quintarra' "$work/files" \
    || fail "the package's launcher: $(grep usr/bin "$work/files")"
if grep -v '^\./usr/' "$work/files" | grep -qv '^\./ *$'; then
    fail "files outside /usr: $(grep -v '^\./usr/' "$work/files")"
fi

# Built as Debian builds its own: stripped, and with every hardening lintian
# looks for (its hardening tags are of the informational kind).
mkdir "$work/tree"
dpkg-deb -x "$deb" "$work/tree"
program=$work/tree/usr/lib/quintarra/quintarra
# Read whole first: grep -q leaves early, and pipefail would take readelf's
# broken pipe for a failure.
sections=$(readelf -SW "$program")
dynamic=$(readelf -dW "$program")
segments=$(readelf -lW "$program")
symbols=$(readelf -sW --dyn-syms "$program")
if grep -Eq '\.(symtab|debug_info)\b' <<<"$sections"; then
    fail "the packaged program is not stripped"
fi
grep -q 'BIND_NOW' <<<"$dynamic" || fail "the packaged program is not linked with -z now"
grep -q 'GNU_RELRO' <<<"$segments" || fail "the packaged program has no read-only relocations"
grep -q '__[a-z_]*_chk@' <<<"$symbols" || fail "the packaged program uses no fortified functions"

lintian --fail-on error --display-info "$deb" >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log" >&2; fail "lintian reports errors"; }
if grep -q 'hardening-no-' "$work/lintian.log"; then
    cat "$work/lintian.log" >&2
    fail "lintian finds hardening missing"
fi
echo "package $(basename "$deb"): ok"
