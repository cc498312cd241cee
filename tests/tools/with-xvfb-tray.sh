#!/usr/bin/env bash
# with-xvfb-tray.sh <command> [args...]: runs the command, for at most TALLIX_XVFB_TIMEOUT
# seconds (240), on a private Xvfb (a free display, -displayfd) with trayer as XEmbed tray, or
# with TALLIX_TRAY_HOST=lxqt-panel on a private session bus for lxqt-panel (its config folder in
# TALLIX_PANEL_CONFIG), which the command starts itself. TALLIX_TRAYER_PID_FILE holds the tray's
# PID; a test that restarts the tray writes the new one there (start_trayer does). Everything
# is stopped by PID; the command's status is returned.
set -uo pipefail
export TALLIX_XVFB_DIR
TALLIX_XVFB_DIR=$(mktemp -d "${TMPDIR:-/tmp}/tallix-xvfb.XXXXXX")
workdir=$TALLIX_XVFB_DIR
export TALLIX_TRAYER_PID_FILE="$workdir/trayer.pid"
touch "$TALLIX_TRAYER_PID_FILE"
xvfb_pid=""
bus_pid=""
source "$(dirname "$0")/../e2e/e2e-helpers.sh" # wait_for

cleanup() {
  for pid in $(cat "$TALLIX_TRAYER_PID_FILE") $bus_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null && timeout 1 tail --pid="$pid" -f /dev/null
    kill -9 "$pid" 2>/dev/null
  done
  rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# Xvfb writes the display number it chose, once it takes clients, to the descriptor we give
# it; the pipe ends without one if it cannot start.
mkfifo "$workdir/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$workdir/display" >"$workdir/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
read -r -t 10 display <"$workdir/display"
if [ -z "$display" ]; then
  echo "with-xvfb-tray: Xvfb did not start" >&2
  cat "$workdir/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$display"

# The program must not reach a StatusNotifier host of the real session.
unset DBUS_SESSION_BUS_ADDRESS
if [ "${TALLIX_TRAY_HOST:-}" = lxqt-panel ]; then
  exec {bus_fd}>"$workdir/bus"
  dbus-daemon --session --nofork --print-address="$bus_fd" >"$workdir/bus.log" 2>&1 &
  bus_pid=$!
  exec {bus_fd}>&-
  export TALLIX_PANEL_CONFIG="$workdir/panel"
  mkdir -p "$TALLIX_PANEL_CONFIG/lxqt"
  printf '%s\n' '[General]' '__userfile__=true' '[panel1]' 'plugins=statusnotifier' 'position=Top' \
    'panelSize=32' 'iconSize=22' 'alignment=0' '[statusnotifier]' 'type=statusnotifier' \
    >"$TALLIX_PANEL_CONFIG/lxqt/panel.conf"
  # The X server may take a moment to accept clients, and the bus to tell its address.
  wait_for 5 eval '[ -s "$workdir/bus" ] && xdotool getdisplaygeometry >/dev/null 2>&1'
  export DBUS_SESSION_BUS_ADDRESS
  DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$workdir/bus")
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
  tray_window() { [ -n "$(xdotool search --classname '^panel$' 2>/dev/null)" ]; }
  wait_for 10 eval 'tray_window || ! kill -0 "$(cat "$TALLIX_TRAYER_PID_FILE")" 2>/dev/null'
  if ! tray_window; then
    echo "with-xvfb-tray: no system tray appeared" >&2
    cat "$workdir/trayer.log" >&2
    exit 1
  fi
fi
timeout --kill-after=10 "${TALLIX_XVFB_TIMEOUT:-240}" "$@"
