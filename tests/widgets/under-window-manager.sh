#!/usr/bin/env bash
# Runs a test program on a private X server under a window manager (openbox),
# which gives windows a frame and a title bar as a desktop does. The screen is
# 1280x1024 unless QUINTARRA_TEST_SCREEN says otherwise (as 1920x1080x24).
#   under-window-manager.sh PROGRAM [ARGUMENTS...]
set -euo pipefail

# shellcheck source=SCRIPTDIR/../support/x-session.sh
source "$(dirname "$0")/../support/x-session.sh"

make_work_folder TERM
await_tenths=100
start_x_server "$work" "${QUINTARRA_TEST_SCREEN:-1280x1024x24}" || give_up "$work/xvfb.log" "Xvfb did not start"
export DISPLAY="$display"
start_window_manager "$work" || give_up "$work/openbox.log" "openbox did not start"

export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$work"
"$@"
