#!/usr/bin/env bash
# The real program with lxqt-panel's StatusNotifierItem host on a private session bus (run it
# through tests/tools/with-xvfb-tray.sh with TALLIX_TRAY_HOST=lxqt-panel): real clicks and
# pixels on the panel, and gdbus for the menu's entries, which a headless panel cannot aim at.
# Usage: sni-e2e.sh <tallix-server> <x-iconify>
set -uo pipefail
exe=$1
iconify=$2
source "$(dirname "$0")/e2e-helpers.sh"

start_panel() {
  XDG_CONFIG_HOME=$TALLIX_PANEL_CONFIG lxqt-panel >/dev/null 2>&1 &
  echo $! >"$TALLIX_TRAYER_PID_FILE"
  wait_for 10 gdbus call -e -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher -m \
    org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher IsStatusNotifierHostRegistered >/dev/null
}
# Gone, or a zombie: its names have left the bus. (wait alone may return for a panel that was
# once stopped.)
gone() { ! ps -o stat= -p "$1" | grep -qv '^Z'; }
stop_panel() { local p; p=$(cat "$TALLIX_TRAYER_PID_FILE"); kill "$p"; wait_for 10 gone "$p"; wait "$p" 2>/dev/null; }
item() { echo "org.kde.StatusNotifierItem-$pid-1"; }
registered() {
  gdbus call -e -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher -m org.freedesktop.DBus.Properties.Get \
    org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems 2>/dev/null | grep -q "$(item)"
}
title() { gdbus call -e -d "$(item)" -o /StatusNotifierItem -m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem Title; }
title_has() { title | grep -q "$1"; }
menu_has() { gdbus call -e -d "$(item)" -o /MenuBar -m com.canonical.dbusmenu.GetLayout -- 0 -1 '[]' | grep -q "$1"; }
menu() { gdbus call -e -d "$(item)" -o /MenuBar -m com.canonical.dbusmenu.Event "$1" clicked '<0>' 0 >/dev/null; }
activate() { gdbus call -e -d "$(item)" -o /StatusNotifierItem -m "org.kde.StatusNotifierItem.$1" 0 0 >/dev/null; }
# The panel runs along the top; with the one item its icon is the first button.
icon_pixels() { colourful_in 24x24+3+4; }
drawn() { /usr/bin/import -window root -crop 1x1+8+16 -depth 8 txt:- | tail -1 | grep -qv '#000000'; }
looks_idle() { drawn && [ "$(icon_pixels)" -eq 0 ]; }
looks_active() { [ "$(icon_pixels)" -gt 50 ]; }
click() { xdotool mousemove 15 16 click "$1"; sleep 0.6; }
ended_well() { not_running && wait "$pid"; }

free_port port
say "# minimised at launch, gestures, menu, host restart, Exit (port $port)"
start_panel
start_program "MinimizeOnLoad=1\r\nport=$port\r\n"
check "the icon shows the idle picture" wait_for 10 looks_idle
check "no main window at start" main_hidden
check "the title tells idle" title_has "Tallix Server - Idle since "
click 1
check "a left click (activation) restores the window" wait_for 5 main_viewable
xdotool windowmove "$(main_window)" 300 200 # off the panel: no window manager here
"$iconify" "$(main_window)"; check "minimising hides it while the panel holds the icon" wait_for 5 main_hidden
click 1; wait_for 5 main_viewable
click 2
check "a middle click (secondary activation) starts the server" wait_for 5 answers "$port"
check "the icon shows the active picture" wait_for 5 looks_active
check "the title tells active" title_has "Tallix Server - Active since "
check "the menu offers to stop" menu_has "_Stop Server"
activate SecondaryActivate
check "the secondary activation stops it" wait_for 5 refuses "$port"
check "the menu offers to start" wait_for 5 menu_has "_Start Server"
menu 1
check "the menu's first entry starts it" wait_for 5 answers "$port"
stop_panel
start_panel
check "the item registers again after the host restarts" wait_for 10 registered
check "with the active picture" wait_for 5 looks_active
menu 1
check "the menu's first entry stops it" wait_for 5 refuses "$port"
check "and the icon turns idle" wait_for 5 looks_idle
activate Activate
check "the activation leaves the window shown" main_viewable
menu 3
check "Exit ends the program with status 0" wait_for 10 ended_well
check "and saves Server.ini" settings_saved

say "# a panel that holds its names on the bus but does not answer"
kill -STOP "$(cat "$TALLIX_TRAYER_PID_FILE")"
start_program "StartOnLoad=1\r\nport=$port\r\n"
check "holds up neither the start nor the clients" wait_for 5 answers "$port"
kill -CONT "$(cat "$TALLIX_TRAYER_PID_FILE")"

say "# the host starts after the program, which was minimised at launch"
stop_program; stop_panel
start_program "MinimizeOnLoad=1\r\nport=$port\r\n"
check "without a host the minimised window stays on screen" wait_for 10 main_viewable
start_panel
check "the icon appears once the host is there" wait_for 20 looks_idle
check "and the window is hidden in it" wait_for 5 main_hidden
click 1
check "a left click brings it back" wait_for 5 main_viewable

say "# a save that fails at Exit tells the desktop"
start_program "port=$port\r\n"
wait_for 10 registered && rm "$folder/Server.ini" && mkdir "$folder/Server.ini"
dbus-monitor "interface='org.freedesktop.Notifications'" >"$folder/notices" 2>&1 & monitor=$!
sleep 0.5; menu 3
check "Exit still ends the program" wait_for 10 ended_well
check "and a notice names the file" wait_for 5 grep -q "could not be saved to $folder/Server.ini" "$folder/notices"
kill "$monitor"; wait "$monitor" 2>/dev/null

finish
