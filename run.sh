#!/usr/bin/env bash
# Installs what is missing, builds the program, and starts it.
set -euo pipefail
cd "$(dirname "$0")"
# The set-up speaks on the error stream only: what the program writes (its
# --help, say) is the program's alone, also when it goes into a pipe.
scripts/setup.sh >&2
exec build/quintarra "$@"
