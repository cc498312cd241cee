#!/usr/bin/env bash
# Replies while the StatusNotifierItem host does not answer. The real program, minimised at
# launch and serving at load, on a private Xvfb and session bus with lxqt-panel as the host,
# under tallix-probe paced (a request every 10 ms, open loop): once with the panel answering,
# once with the panel stopped by SIGSTOP before the program starts (it still holds its names
# on the bus). Loopback only; every process is its own and ended by PID.
# Usage: bench/tray-stall.sh [seconds per run, default 10]
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${TALLIX_PANEL_CONFIG:-}" ]; then
  TALLIX_TRAY_HOST=lxqt-panel exec "$here/tests/tools/with-xvfb-tray.sh" "$0" "$@"
fi
seconds=${1:-10}
exe=${TALLIX_EXE:-$here/build/tallix-server}
probe=$here/build/bench/tallix-probe
source "$here/tests/e2e/e2e-helpers.sh"

host_up() {
  gdbus call -e -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher -m \
    org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher IsStatusNotifierHostRegistered >/dev/null 2>&1
}
free_port port
for panel in answering stopped; do
  XDG_CONFIG_HOME=$TALLIX_PANEL_CONFIG lxqt-panel >/dev/null 2>&1 &
  panel_pid=$!
  echo "$panel_pid" >"$TALLIX_TRAYER_PID_FILE"
  wait_for 10 host_up || { say "the panel did not start"; exit 1; }
  [ "$panel" = stopped ] && kill -STOP "$panel_pid"
  start_program "StartOnLoad=1\r\nMinimizeOnLoad=1\r\nport=$port\r\n"
  wait_for 10 answers "$port" || { say "the program did not answer"; exit 1; }
  sleep 2 # past the start, into the steady state
  printf 'panel %-9s ' "$panel"
  "$probe" paced --port "$port" --seconds "$seconds"
  stop_program; rm -rf "$folder"; folder=""
  kill -CONT "$panel_pid"; kill "$panel_pid"; wait "$panel_pid" 2>/dev/null
done
