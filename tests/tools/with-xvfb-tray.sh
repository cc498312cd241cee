#!/usr/bin/env bash
# with-xvfb-tray.sh <command> [args...]: runs the command, for at most TALLIX_XVFB_TIMEOUT
# seconds (240), on a private Xvfb (a free display, -displayfd) with trayer as XEmbed tray, or
# with TALLIX_TRAY_HOST=lxqt-panel on a private session bus for lxqt-panel (its config folder in
# TALLIX_PANEL_CONFIG). TALLIX_TRAYER_PID_FILE holds the tray's PID; a test that restarts the
# tray writes the new one there. Everything is stopped by PID; the command's status is returned.
set -uo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 <command> [args...]" >&2
  exit 2
fi

workdir=$(mktemp -d "${TMPDIR:-/tmp}/tallix-xvfb.XXXXXX")
xvfb_pid=""
trayer_pid=""
bus_pid=""

cleanup() {
  # A test may have replaced the tray; it reports the new PID through this file.
  if [ -s "$workdir/trayer.pid" ]; then
    trayer_pid=$(cat "$workdir/trayer.pid")
  fi
  for pid in $trayer_pid $bus_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null && timeout 1 tail --pid="$pid" -f /dev/null
    kill -9 "$pid" 2>/dev/null
  done
  rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# Xvfb writes the display number it chose to the descriptor we give it.
exec {display_fd}>"$workdir/display"
Xvfb -displayfd "$display_fd" -screen 0 1024x768x24 -nolisten tcp >"$workdir/xvfb.log" 2>&1 &
xvfb_pid=$!
exec {display_fd}>&-

display=""
for _ in $(seq 1 100); do
  display=$(head -n1 "$workdir/display" 2>/dev/null)
  [ -n "$display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
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
  for _ in $(seq 1 50); do
    [ -s "$workdir/bus" ] && xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1
  done
  DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$workdir/bus")
  export DBUS_SESSION_BUS_ADDRESS TALLIX_TRAYER_PID_FILE="$workdir/trayer.pid"
  echo > "$TALLIX_TRAYER_PID_FILE"
  timeout --kill-after=10 "${TALLIX_XVFB_TIMEOUT:-240}" "$@"
  exit $?
fi

start_trayer() {
  trayer --edge top --align right --widthtype request --height 32 \
         --SetDockType true --SetPartialStrut false --transparent false \
         >>"$workdir/trayer.log" 2>&1 &
  trayer_pid=$!
  echo "$trayer_pid" >"$workdir/trayer.pid"
}

# trayer's panel window stands for the tray; an icon that comes before the tray takes its
# selection docks when the tray announces itself.
start_trayer
owned=0
for _ in $(seq 1 100); do
  if [ -n "$(xdotool search --classname '^panel$' 2>/dev/null | head -n1)" ]; then owned=1; break; fi
  kill -0 "$trayer_pid" 2>/dev/null || break
  sleep 0.1
done
if [ $owned -ne 1 ]; then
  echo "with-xvfb-tray: no system tray appeared" >&2
  cat "$workdir/trayer.log" >&2
  exit 1
fi

export TALLIX_TRAYER_PID_FILE="$workdir/trayer.pid"
timeout --kill-after=10 "${TALLIX_XVFB_TIMEOUT:-240}" "$@"
