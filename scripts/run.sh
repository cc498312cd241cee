#!/usr/bin/env bash
# Sets up, builds and starts the program. Without a display it starts the daemon
# (tallix-serverd, the window-less server) and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
# Only the program: whoever just wants to run it does not wait for the tests.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tallix-server tallix-serverd
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting Tallix Server without a window (build/tallix-serverd), serving at once on the options of build/Server.ini; Ctrl+C stops it."
  exec build/tallix-serverd "$@"
fi
exec build/tallix-server "$@"
