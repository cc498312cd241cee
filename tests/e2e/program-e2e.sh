#!/usr/bin/env bash
# The real program on a private X server with a real system tray (run it through
# tests/tools/with-xvfb-tray.sh): real clicks on the docked icon, real pixels, real sockets.
# Usage: program-e2e.sh <tallix-server> <x-iconify>
set -uo pipefail
exe=$1
iconify=$2

source "$(dirname "$0")/e2e-helpers.sh"

# The docked icon sits inside the tray.
icon_window() {
  local w
  for w in $(xdotool search --pid "$pid" 2>/dev/null); do
    if ! parent_is_root "$w" && viewable "$w"; then echo "$w"; return 0; fi
  done
  return 1
}
icon_docked() { [ -n "$(icon_window)" ]; }
# Pixels of the docked icon with a clear colour.
colourful_pixels() {
  local w WINDOW X Y WIDTH HEIGHT SCREEN
  w=$(icon_window) || { echo -1; return; }
  eval "$(xdotool getwindowgeometry --shell "$w")" # X and Y on the root
  colourful_in "${WIDTH}x${HEIGHT}+${X}+${Y}"
}
looks_idle() { [ "$(colourful_pixels)" -eq 0 ]; }
looks_active() { [ "$(colourful_pixels)" -gt 10 ]; }

gesture() { # gesture click-args...: on the docked icon
  local w; w=$(icon_window) || return 1
  xdotool mousemove --window "$w" 11 15
  xdotool click "$@"
  sleep 0.6 # gestures need air between them; the double-click interval is 400 ms
}

error_window() { xdotool search --all --pid "$pid" --name '^Error$' 2>/dev/null | head -1; }
error_box() { local w; w=$(error_window) && [ -n "$w" ] && viewable "$w"; }
no_error_box() { ! error_box; }
close_error_box() { xdotool windowfocus --sync "$(error_window)" key Return && wait_for 5 no_error_box; }

free_port port
say "# idle start, right clicks, minimise and restore, right double-click (port $port)"
start_program "port=$port\r\n"
check "the icon docks in the tray" wait_for 10 icon_docked
check "the main window shows" wait_for 10 main_viewable
check "the icon shows the idle picture" wait_for 5 looks_idle
check "the server is stopped" refuses "$port"
gesture 3
check "a right click starts the server" wait_for 5 answers "$port"
check "the icon shows the active picture" wait_for 5 looks_active
gesture 3
check "a second right click stops it" wait_for 5 refuses "$port"
check "the icon is idle again" wait_for 5 looks_idle
gesture 1
check "a left click changes nothing" refuses "$port"
"$iconify" "$(main_window)"
check "minimising hides the main window" wait_for 5 main_hidden
check "the icon stays" icon_docked
gesture --repeat 2 --delay 80 1
check "a left double-click shows the main window again" wait_for 5 main_viewable
gesture --repeat 2 --delay 80 3
check "a right double-click ends the program" wait_for 10 not_running
check "Server.ini is written at the end" settings_saved

say "# the failed-start box: the icon takes gestures, unless the box came from one of them"
start_program "StartOnLoad=1\r\nMinimizeOnLoad=1\r\nport=99999\r\n"
check "a failed start at load shows its box" wait_for 10 error_box
check "the icon docks meanwhile" wait_for 10 icon_docked
gesture --repeat 2 --delay 80 1
check "a left double-click during that box shows the window" wait_for 5 main_viewable
check "OK closes the box" close_error_box
"$iconify" "$(main_window)"; wait_for 5 main_hidden
gesture 3
check "a failed start from a right click shows its box" wait_for 5 error_box
gesture --repeat 2 --delay 80 1
check "the icon drops gestures while its own box is open" main_hidden
close_error_box; gesture --repeat 2 --delay 80 1
check "and takes them again once it is closed" wait_for 5 main_viewable

for launch in 1 2 3; do
say "# start minimised and listening: only the icon (fresh launch $launch)"
start_program "StartOnLoad=1\r\nMinimizeOnLoad=1\r\nport=$port\r\n"
check "listening at start" wait_for 10 answers "$port"
check "the icon docks with the active picture" wait_for 10 looks_active
check "no main window on screen" main_hidden
sleep 0.5
check "still no main window" main_hidden
gesture --repeat 2 --delay 80 1
check "the first left double-click brings the window" wait_for 5 main_viewable
sleep 1; check "and it stays" main_viewable
"$iconify" "$(main_window)"; check "minimising it again hides it" wait_for 5 main_hidden
done

say "# minimised at launch before the tray starts: hidden once the icon docks"
stop_program; kill "$(cat "$TALLIX_TRAYER_PID_FILE")"; wait_for 5 eval '! tray_window'
start_program "MinimizeOnLoad=1\r\nport=$port\r\n"
check "without a tray the minimised window stays on screen" wait_for 10 main_viewable
start_trayer
check "the icon docks in the late tray" wait_for 10 icon_docked
check "and the window is hidden in it" wait_for 5 main_hidden
gesture --repeat 2 --delay 80 1
check "a left double-click brings it back" wait_for 5 main_viewable

finish
