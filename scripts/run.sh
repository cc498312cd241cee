#!/usr/bin/env bash
# Sets up, builds and starts the program. Without a display it runs offscreen and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
scripts/build.sh build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting Tallix Server offscreen (no window, no tray icon; clients are served once the server is started)."
  export QT_QPA_PLATFORM=offscreen
fi
exec build/tallix-server "$@"
