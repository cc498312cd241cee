#!/usr/bin/env bash
# The Windows build under Wine, on a private X server with a real tray (run it through
# tests/tools/with-xvfb-tray.sh): real clicks on the icon Wine docks into the tray, a loopback
# client, the portable copy's files beside it, the Run key; then the setup program, the
# installed copy's files in the user's folders, the end of the session and the uninstall.
# Usage: wine-e2e.sh <folder holding tallix-server.exe and its DLLs> <setup program>
set -uo pipefail
top=$(mktemp -d "${TMPDIR:-/tmp}/tallix-wine.XXXXXX")
export WINEPREFIX=$top/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
# Bias -330 by default: a zone record not read puts the stamp 5.5 hours off. In a zone whose
# daylight time is in force (TZ given), the box checked as in summer keeps the stamp UTC.
export TZ=${TZ:-Asia/Kolkata} LC_ALL=C
minutes() { local z; z=$(date -d "$1" +%z); echo $((${z:0:1}1 * (10#${z:1:2} * 60 + 10#${z:3:2}))); }
daylight=$(($(minutes now) > $(minutes 'Jan 15') || $(minutes now) > $(minutes 'Jul 15') ? 1 : 0))
dir="$WINEPREFIX/drive_c/Tallix Server" run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
value='Brovik Productions - Tallix Server' reply=""
source "$(dirname "$0")/../e2e/e2e-helpers.sh" # check, wait_for, free_port, answers, refuses
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; wineserver -k >/dev/null 2>&1; rm -rf "$top"' EXIT

# Wine's helpers must run on this X server before the program does.
mkdir -p "$WINEPREFIX" && wineserver -p && wineboot >/dev/null 2>&1 || { echo "FAIL - wineboot"; exit 1; }
mkdir -p "$dir" && cp -r "$1"/. "$dir"/
free_port port
printf 'StartOnLoad=1\r\nMinimizeOnLoad=1\r\nLogIPs=1\r\nport=%s\r\nDaylightSavings=%s\r\n' "$port" "$daylight" >"$dir/Server.ini"

# Wine's GDI font engine leaves the text boxes blank; FreeType draws them.
start() { (cd "$1" && exec wine tallix-server.exe -platform windows:fontengine=freetype) >>"$top/out.log" 2>&1 & pid=$!; }
ended() { ! kill -0 "$pid" 2>/dev/null; }
icon() { xwininfo -tree -id "$(xdotool search --classname '^panel$' | head -n1)" | awk '/explorer.exe/ { print $1; exit }'; }
docked() { [ -n "$(icon)" ]; }
window() { xdotool search --onlyvisible --name '^Tallix Server$' | head -n1; }
shown() { [ -n "$(window)" ]; }
hidden() { ! shown; }
click_icon() { xdotool mousemove --window "$(icon)" 10 15 click "$@"; sleep 0.7; }
stamped() { # the reply is "time:" and a UTC stamp of the seconds the request took
  local s; for ((s = t0; s <= $(date +%s); s++)); do
    [ "$reply" = "time:$(date -u -d "@$s" +%d%b%y%H%M%S | tr a-z A-Z)" ] && return 0; done; return 1; }

# Wine has no Windows Time service to ask: the clock's state is unknown, and said so.
free_port hport && printf 'port=%s\r\n' "$hport" >"$top/Server.ini"
(cd "$dir" && exec timeout 60 wine tallix-server.exe --headless --folder "Z:$top") >"$top/headless.log" 2>&1 &
hpid=$!
check "without the time service's word the clock's state is unknown" wait_for 50 grep -q 'synchronised is unknown' "$top/headless.log"
kill $hpid 2>/dev/null; wait $hpid 2>/dev/null
# A value of another type reads as no entry: the box loads unchecked and the click below checks it.
wine reg add "$run" /v "$value" /t REG_EXPAND_SZ /d x /f >/dev/null 2>&1; start "$dir"
check "the icon docks in the tray" wait_for 60 docked
t0=$(date +%s)
check "started with the program, the server gives a loopback client its bytes and a stamp" wait_for 60 answers "$port"
check "reply '$reply' holds the UTC time" stamped
check "the connection is logged" grep -q '\] 127\.0\.0\.1' "$dir/Logs/$(date +%Y%m%d).log"
check "minimised on launch: no window shown" hidden
click_icon 3
check "a right click stops the server" wait_for 10 refuses "$port"
click_icon --repeat 2 --delay 80 1
check "a left double-click restores the window" wait_for 10 shown
sleep 1; xdotool mousemove --window "$(window)" 60 18 click 1; sleep 1 # "Launch on Windows start-up"
click_icon --repeat 2 --delay 80 3
check "a right double-click toggles the server and quits" wait_for 20 ended
check "the Run value holds the quoted path" \
  bash -c "wine reg query '$run' /v '$value' | grep -qF '\"C:\\Tallix Server\\tallix-server.exe\"'"
# A value of another type, which loads the box unchecked, still launches the program: the unload deletes it.
free_port port2 # the first port's closed connections may still hold it
printf 'StartOnLoad=1\r\nMinimizeOnLoad=1\r\nport=%s\r\n' "$port2" >"$dir/Server.ini"
wine reg add "$run" /v "$value" /t REG_EXPAND_SZ /d '"C:\Tallix Server\tallix-server.exe"' /f >/dev/null 2>&1; start "$dir"
wait_for 60 answers "$port2" && click_icon --repeat 2 --delay 80 3 && wait_for 20 ended
check "a REG_EXPAND_SZ Run value, shown unchecked, is deleted at the unload" bash -c "! wine reg query '$run' /v '$value' >/dev/null 2>&1"

# A silent install; the installed copy keeps Server.ini in the roaming application-data folder
# and Logs in the local one. The end of the session unloads it like the close box, also while the
# window was never shown: a Run value held as a number reads as an entry, so the unload writes the string.
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TallixServer'
inst="$WINEPREFIX/drive_c/Program Files/Tallix Server" users="$WINEPREFIX/drive_c/users/$(id -un)/AppData"
cfg="$users/Roaming/Tallix Server" link="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tallix Server.lnk"
check "the setup program installs silently, with a Start-menu shortcut" bash -c 'wine "$0" /S && [ -f "$1" ]' "$2" "$link"
mkdir -p "$cfg" && printf 'StartOnLoad=1\r\nMinimizeOnLoad=1\r\nLogIPs=1\r\nport=%s\r\nDaylightSavings=%s\r\n' "$port" "$daylight" >"$cfg/Server.ini"
wine reg add "$run" /v "$value" /t REG_DWORD /d 7 /f >/dev/null 2>&1; start "$inst"
check "the installed copy reads its Server.ini in the roaming folder" wait_for 60 answers "$port"
# Run in place (an unquoted _?=, hence the batch file), the uninstaller's status is its own.
printf '"C:\\Program Files\\Tallix Server\\Uninstall.exe" /S _?=C:\\Program Files\\Tallix Server\r\n' >"$WINEPREFIX/drive_c/in-place.bat"
check "an uninstall while it runs fails and removes nothing" \
  bash -c 'wine cmd /c "C:\in-place.bat" >/dev/null; [ $? -eq 2 ] && [ -f "$0/Qt6Core.dll" ]' "$inst"
wineboot --end-session --shutdown >/dev/null 2>&1 # --shutdown: no new session, which would start the Run entry
check "the end of the session ends the program" wait_for 20 ended
check "... after writing Server.ini in the roaming folder, none in the program folder" \
  bash -c 'grep -q "$2" "$0/Server.ini" && [ ! -e "$1/Server.ini" ]' "$cfg" "$inst" "^DaylightSavings=$daylight"$'\r$'
check "the connection is logged in the local folder" grep -q '\] 127\.0\.0\.1' "$users/Local/Tallix Server/Logs/$(date +%Y%m%d).log"
check "the Run value holds the installed path as a string" \
  bash -c "wine reg query '$run' /v '$value' | grep -qF 'REG_SZ    \"C:\\Program Files\\Tallix Server\\tallix-server.exe\"'"

# The uninstall as Windows runs it from the Add/Remove entry; it goes on from a copy of itself.
eval "wine $(wine reg query "$key" /v QuietUninstallString | sed -n 's/.*REG_SZ *//p' | tr -d '\r')"
check "the silent uninstall removes the program files and the shortcut" wait_for 30 test ! -e "$inst" -a ! -e "$link"
check "... the Add/Remove entry and the Run value naming the program, not the user's Server.ini" \
  bash -c "! { wine reg query '$key' || wine reg query '$run' /v '$value'; } >/dev/null 2>&1 && [ -f '$cfg/Server.ini' ]"
[ $failures -eq 0 ] || { echo "--- program output"; cat "$top/out.log"; import -window root /tmp/wine-e2e-fail.png; }
exit $((failures > 0))
