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

# The ground, the list, the chart command's steps on and off the pool, and the
# engine's processes once more under AddressSanitizer and
# UndefinedBehaviorSanitizer, in a build of their own; a report fails its
# test. LibreOffice's own libraries, loaded for the connections, stay as they are.
sanitized=(tst_guard tst_mainroutines
           tst_entrycodec tst_listcommands tst_delimitedtext tst_incomingrows tst_listactions
           tst_chartcommand tst_enginewatchdog tst_engine)
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUINTARRA_SANITIZE=address,undefined >/dev/null
cmake --build build-asan -j"$(nproc)" --target "${sanitized[@]}"
sanitized_status=0
(cd build-asan && QT_QPA_PLATFORM=offscreen \
     ctest -R "^($(IFS='|'; echo "${sanitized[*]}"))\$" --output-on-failure --timeout 900) || sanitized_status=$?
# The watchdog's threads under ThreadSanitizer, on its own.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUINTARRA_SANITIZE=thread >/dev/null
cmake --build build-tsan -j"$(nproc)" --target tst_enginewatchdog
(cd build-tsan && ctest -R '^tst_enginewatchdog$' --output-on-failure) || sanitized_status=$?

# The whole suite last, so that its summary closes the output.
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 900 "$@"
if ((sanitized_status != 0)); then
    echo "The sanitized tests failed; their output is above."
    exit "$sanitized_status"
fi
