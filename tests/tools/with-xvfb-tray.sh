#!/usr/bin/env bash
# with-xvfb-tray.sh <command> [args...]: runs the command, for at most TALLIX_XVFB_TIMEOUT
# seconds (240), on a private X server with trayer as XEmbed tray, or with
# TALLIX_TRAY_HOST=lxqt-panel on a private session bus for lxqt-panel (its config folder in
# TALLIX_PANEL_CONFIG), which the command starts itself. TALLIX_TRAYER_PID_FILE holds the tray's
# PID; a test that restarts the tray writes the new one there (start_trayer does). The tray is
# stopped by PID; the command's status is returned.
set -uo pipefail
if [ -z "${TALLIX_XVFB_DIR:-}" ]; then
  # Outside: xvfb-run's X server (-noreset: a test that ends every client must not meet a
  # server starting over) and dbus-run-session's bus, then this script again inside them.
  export TALLIX_XVFB_DIR
  TALLIX_XVFB_DIR=$(mktemp -d "${TMPDIR:-/tmp}/tallix-xvfb.XXXXXX")
  trap 'rm -rf "$TALLIX_XVFB_DIR"' EXIT
  unset DBUS_SESSION_BUS_ADDRESS # never a StatusNotifier host of the real session
  bus=()
  [ "${TALLIX_TRAY_HOST:-}" = lxqt-panel ] && bus=(dbus-run-session --)
  xvfb-run --auto-servernum --error-file=/dev/stderr --server-args="-screen 0 1024x768x24 -noreset" "${bus[@]}" "$0" "$@"
  exit
fi
export TALLIX_TRAYER_PID_FILE="$TALLIX_XVFB_DIR/trayer.pid"
touch "$TALLIX_TRAYER_PID_FILE"
source "$(dirname "$0")/../e2e/e2e-helpers.sh" # wait_for, tray_window
stop_tray() {
  for pid in $(cat "$TALLIX_TRAYER_PID_FILE"); do
    kill "$pid" 2>/dev/null && timeout 1 tail --pid="$pid" -f /dev/null
    kill -9 "$pid" 2>/dev/null
  done
}
trap stop_tray EXIT
trap 'exit 130' INT TERM HUP

if [ "${TALLIX_TRAY_HOST:-}" = lxqt-panel ]; then
  export TALLIX_PANEL_CONFIG="$TALLIX_XVFB_DIR/panel"
  mkdir -p "$TALLIX_PANEL_CONFIG/lxqt"
  printf '%s\n' '[General]' '__userfile__=true' '[panel1]' 'plugins=statusnotifier' 'position=Top' \
    'panelSize=32' 'iconSize=22' 'alignment=0' '[statusnotifier]' 'type=statusnotifier' \
    >"$TALLIX_PANEL_CONFIG/lxqt/panel.conf"
else
  start_trayer() {
    trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
      --SetPartialStrut false --transparent false >>"$TALLIX_XVFB_DIR/trayer.log" 2>&1 &
    echo $! >"$TALLIX_TRAYER_PID_FILE"
  }
  export -f start_trayer
  # trayer's panel window stands for the tray; an icon that comes before the tray takes its
  # selection docks when the tray announces itself.
  start_trayer
  wait_for 10 eval 'tray_window || ! kill -0 "$(cat "$TALLIX_TRAYER_PID_FILE")" 2>/dev/null'
  if ! tray_window; then
    echo "with-xvfb-tray: no system tray appeared" >&2
    cat "$TALLIX_XVFB_DIR/trayer.log" >&2
    exit 1
  fi
fi
timeout --kill-after=10 "${TALLIX_XVFB_TIMEOUT:-240}" "$@"
