#!/usr/bin/env bash
# Runs the test suite again and again, quiet and then beside CPU hogs, and
# counts the passes: bash scripts/repeat-tests.sh [quiet-runs] [hogged-runs] [hogs]
# (defaults 10, 5 and 8). Builds first, as scripts/test.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."
quiet=${1:-10}
hogged=${2:-5}
hogs=${3:-8}
build=${QM_TEST_BUILD_DIR:-build/test}
bash scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen
logs=$(mktemp -d)
pids=()
stop_hogs() { for p in "${pids[@]:-}"; do [ -n "$p" ] && kill "$p" 2>/dev/null || true; done; pids=(); }
trap stop_hogs EXIT

run() { # label count
    local passed=0
    for i in $(seq 1 "$2"); do
        if (cd "$build" && ctest -j 8 --output-on-failure) >"$logs/$1-$i.log" 2>&1; then
            passed=$((passed + 1))
        else
            echo "$1 run $i failed: $logs/$1-$i.log"
            grep -E "Failed|FAILED" "$logs/$1-$i.log" | head -20 || true
        fi
    done
    echo "$1: $passed of $2 runs passed"
}

run quiet "$quiet"
for _ in $(seq 1 "$hogs"); do
    (while :; do :; done) &
    pids+=($!)
done
run hogged "$hogged"
stop_hogs
