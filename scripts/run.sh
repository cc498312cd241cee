#!/usr/bin/env bash
# Sets up, builds and starts the program. Without a display it starts the window-less mode
# and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
# Only the program: whoever just wants to run it does not wait for the tests.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tallix-server
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting Tallix Server without a window (--headless), serving at once on the options of build/Server.ini; Ctrl+C stops it."
  exec build/tallix-server --headless "$@"
fi
exec build/tallix-server "$@"
