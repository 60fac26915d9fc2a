#!/usr/bin/env bash
# Installs what is missing, builds the service (Release) and starts it on its
# defaults (port 8012). Extra arguments are passed to quinmark-server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=build/release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
# Without a desktop the service runs headless.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
fi
exec "$build/quinmark-server" "$@"
