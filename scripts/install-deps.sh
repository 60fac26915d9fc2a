#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent and
# silent when everything is already there.
set -euo pipefail
packages=(
    build-essential cmake pkg-config ccache
    qtbase5-dev qtdeclarative5-dev libqt5svg5-dev
    libmicrohttpd-dev libusb-1.0-0-dev zlib1g-dev
    libgtest-dev libgmock-dev
    xvfb xauth curl
    # the tests run README's examples and examples/station.py
    python3
    trayer xdotool xclip
)
# The fuzz targets need clang and its sanitizer runtimes: `install-deps.sh --fuzz`.
if [ "${1:-}" = "--fuzz" ]; then
    packages+=(clang libclang-rt-14-dev)
fi
# The benchmarks' reference computations run under python3 with numpy, and
# bench/callgrind_requests.sh under valgrind: `install-deps.sh --bench`.
if [ "${1:-}" = "--bench" ]; then
    packages+=(python3 python3-numpy valgrind)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
