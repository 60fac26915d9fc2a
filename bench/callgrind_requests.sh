#!/usr/bin/env bash
# Instructions and heap allocations per "system.listMethods" request over one
# keep-alive connection, counted by callgrind in the whole server process (every
# thread: libmicrohttpd's, the request's, the kernel calls' user side), for the
# service and for the minimal libmicrohttpd server of http_bench that answers
# the same bytes. Counting starts after a warm-up connection of 200 requests.
#
#   bash bench/callgrind_requests.sh [build dir, default build/release] [requests, default 2000]
#
# Needs valgrind and python3 (bash scripts/install-deps.sh --bench) and a Release build of
# quinmark-server and http_bench (bench/README.md).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
requests=${2:-2000}
bench=$build/bench/http_bench
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

wait_for_port() {
    local port=$1 deadline=$((SECONDS + 120))
    until curl -s -o /dev/null "http://127.0.0.1:$port/"; do
        [ $SECONDS -lt $deadline ] || { echo "nothing answers on port $port" >&2; exit 1; }
        sleep 0.2
    done
}

# Sums the dump's instructions and its calls of the allocation functions.
report() {
    python3 - "$1" "$2" "$requests" <<'PY'
import re, sys
name, path, requests = sys.argv[1], sys.argv[2], int(sys.argv[3])
alloc = re.compile(r'^(malloc|calloc|realloc|memalign|posix_memalign|aligned_alloc)$')
names, current, total_ir, allocations = {}, None, 0, 0
for line in open(path, errors='replace'):
    if line.startswith(('cfn=', 'cfi=', 'fn=')):
        m = re.match(r'^(cfn|cfi|fn)=\((\d+)\)(?: (.*))?$', line.rstrip('\n'))
        if m and m.group(1) != 'cfi':
            key = m.group(2)
            if m.group(3):
                names[key] = m.group(3)
            if m.group(1) == 'cfn':
                current = names.get(key, '')
    elif line.startswith('calls=') and current is not None:
        if alloc.match(current):
            allocations += int(line.split('=')[1].split()[0])
        current = None
    elif line.startswith(('summary:', 'totals:')):
        total_ir = max(total_ir, int(line.split()[1]))
print(f"{name:8s} {total_ir / requests:10.0f} instructions/request {allocations / requests:8.1f} allocations/request"
      f"   ({total_ir} instructions, {allocations} allocations, {requests} requests)")
PY
}

# measure NAME PORT COMMAND...: runs the server under callgrind and counts the measured requests.
measure() {
    local name=$1 port=$2
    shift 2
    env HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" QT_QPA_PLATFORM=offscreen \
        valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$work/$name.out" "$@" \
        >"$work/$name.log" 2>&1 &
    local pid=$!
    pids+=("$pid")
    wait_for_port "$port"
    "$bench" --port "$port" --connections 1 --requests 200 --warmup 0 >/dev/null
    callgrind_control -i on "$pid" >/dev/null 2>&1
    "$bench" --port "$port" --connections 1 --requests "$requests" --warmup 0 >/dev/null
    callgrind_control -i off "$pid" >/dev/null 2>&1
    callgrind_control -d "$pid" >/dev/null 2>&1
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    local dump
    dump=$(ls "$work/$name.out"* | grep -v '\.out$' | head -1 || true)
    report "$name" "${dump:-$work/$name.out}"
    # QM_CALLGRIND_KEEP=<folder> keeps the dumps for callgrind_annotate.
    if [ -n "${QM_CALLGRIND_KEEP:-}" ]; then
        mkdir -p "$QM_CALLGRIND_KEEP"
        cp "${dump:-$work/$name.out}" "$QM_CALLGRIND_KEEP/$name.callgrind"
    fi
}

home=$work/home
mkdir -p "$home"
service_port=$(free_port)
measure service "$service_port" "$build/quinmark-server" -d -p "$service_port" -l "$home/debug.txt"

# The minimal server takes its reply from a service run outside valgrind.
env HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" QT_QPA_PLATFORM=offscreen \
    "$build/quinmark-server" -d -p "$service_port" -l "$home/debug2.txt" >/dev/null 2>&1 &
pids+=("$!")
wait_for_port "$service_port"
minimal_port=$(free_port)
measure minimal "$minimal_port" "$bench" --serve-minimal "$minimal_port" --reply-from "$service_port"
