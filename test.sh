#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")"
QUINTARRA_WITH_TESTS=1 scripts/setup.sh

# The stored form under libFuzzer for a bounded time, in a clang build of its own.
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DQUINTARRA_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_entrycodec
(cd build-fuzz && ctest -R '^fuzz_' --output-on-failure)

# The whole suite last, so that its summary closes the output.
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 900 "$@"
