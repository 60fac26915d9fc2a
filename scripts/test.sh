#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${QM_TEST_BUILD_DIR:-build/test}
jobs=$(nproc)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON >/dev/null
cmake --build "$build" -j "$jobs"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j "$jobs"
