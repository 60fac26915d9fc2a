#!/usr/bin/env bash
# Builds everything with ThreadSanitizer and runs the test suite (or the CTest
# entries named by a regular expression, e.g. `bash scripts/test-tsan.sh protocol`).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=build/tsan
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQM_TSAN=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
export TSAN_OPTIONS=${TSAN_OPTIONS:-suppressions=$PWD/scripts/tsan.supp:halt_on_error=1:ignore_noninstrumented_modules=1}
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure ${1:+-R "$1"}
