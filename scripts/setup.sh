#!/usr/bin/env bash
# Installs what the project needs from Debian's packages (only what is missing),
# then configures and builds into build/. Sourced by run.sh and test.sh.
set -euo pipefail

QUINTARRA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Packages to build and run the program.
packages=(
    cmake g++ make
    qt6-base-dev libgl-dev
    libreoffice-calc-nogui libreoffice-draw-nogui libreoffice-dev
    fonts-liberation2 fonts-crosextra-caladea
    xdg-utils
)
# More for the test suite: an independent reader of the workbooks, the checkers
# of the desktop entry, the AppStream metadata and the Debian package, a real X
# server with a window manager for the windows' frames and a typist for them, the
# accessibility bus and a client of it to read the windows as a screen reader does,
# and clang with its libFuzzer runtime for the fuzz targets.
if [[ "${QUINTARRA_WITH_TESTS:-0}" == 1 ]]; then
    packages+=(gnumeric python3-xlrd python3-openpyxl python3-odf poppler-utils desktop-file-utils appstream lintian xvfb openbox xdotool at-spi2-core dbus-daemon python3-pyatspi clang libclang-rt-14-dev)
fi

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=()
for p in "${packages[@]}"; do
    # A full LibreOffice Calc or Draw serves as well as the headless one.
    case "$p" in
        libreoffice-calc-nogui) installed "$p" || installed libreoffice-calc || missing+=("$p") ;;
        libreoffice-draw-nogui) installed "$p" || installed libreoffice-draw || missing+=("$p") ;;
        *) installed "$p" || missing+=("$p") ;;
    esac
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    if [[ "$(id -u)" != 0 ]]; then
        sudo="sudo"
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build="$QUINTARRA_ROOT/build"
if [[ "${QUINTARRA_WITH_TESTS:-0}" == 1 ]]; then
    cmake -S "$QUINTARRA_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j"$(nproc)"
else
    # Only the program, and quietly: its log is kept for when the build fails.
    [[ -f "$build/CMakeCache.txt" ]] || echo "Building Quintarra for the first time; this takes a few minutes."
    log="$build/build.log"
    mkdir -p "$build"
    # A configured build folder configures itself again when the lists change.
    if ! { [[ -f "$build/CMakeCache.txt" ]] || cmake -S "$QUINTARRA_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo; } >"$log" 2>&1 \
       || ! cmake --build "$build" -j"$(nproc)" --target quintarra >>"$log" 2>&1; then
        tail -n 40 "$log"
        echo "The build failed; its whole log is $log."
        exit 1
    fi
fi
