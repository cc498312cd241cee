# Shared by the end-to-end scripts (sourced): checks, the real program in a temporary
# folder, its main window, its server, its settings file and screen pixels. The scripts set
# exe, the program to copy and run.
failures=0
checks=0
pid=""
folder=""
say() { printf '%s\n' "$*"; }
check() { # check "what" command...
  local what=$1; shift
  checks=$((checks + 1))
  if "$@"; then say "ok   - $what"; else say "FAIL - $what"; failures=$((failures + 1)); fi
}
wait_for() { # wait_for seconds command...: polls every 100 ms
  local deadline=$(( $(date +%s%N) + $1 * 1000000000 )); shift
  until "$@"; do
    [ "$(date +%s%N)" -gt "$deadline" ] && return 1
    sleep 0.1
  done
}

free_port() { # free_port VAR: a port nothing listens on, reserved (as the C++ tests do) while this shell runs
  local p fd dir=${TMPDIR:-/tmp}/tallix-test-ports
  mkdir -p "$dir"
  for p in $(shuf -i 20000-32000 -n 50); do
    exec {fd}>"$dir/$p"
    if flock -n "$fd" && refuses "$p"; then printf -v "$1" %s "$p"; return; fi
    exec {fd}>&-
  done
  return 1
}

start_program() { # start_program "Server.ini content": in a new folder, the last one stopped and removed
  stop_program; [ -n "$folder" ] && rm -rf "$folder"
  folder=$(mktemp -d "${TMPDIR:-/tmp}/tallix-e2e.XXXXXX")
  cp "$exe" "$folder/"
  printf '%b' "$1" > "$folder/Server.ini"
  HOME=$folder XDG_CONFIG_HOME=$folder/config QT_QPA_PLATFORM=xcb "$folder/tallix-server" \
    >"$folder/out.log" 2>&1 &
  pid=$!
}

stop_program() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid"; wait_for 10 not_running
    kill -9 "$pid" 2>/dev/null
  fi
  wait "$pid" 2>/dev/null
  pid=""
}
not_running() { ! kill -0 "$pid" 2>/dev/null; }
trap 'stop_program; [ -n "$folder" ] && rm -rf "$folder"' EXIT

# The main window sits on the root, unlike an icon docked into a tray.
parent_is_root() { xwininfo -id "$1" -tree 2>/dev/null | grep -q 'Parent window id: .*(the root window)'; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
main_window() {
  local w
  for w in $(xdotool search --pid "$pid" 2>/dev/null); do
    if parent_is_root "$w" && xwininfo -id "$w" | grep -q -- '-geometry 253x490'; then echo "$w"; return 0; fi
  done
  return 1
}
tray_window() { [ -n "$(xdotool search --classname '^panel$' 2>/dev/null)" ]; } # trayer's panel
main_viewable() { local w; w=$(main_window) && viewable "$w"; }
main_hidden() { local w; w=$(main_window) || return 0; ! viewable "$w"; }

answers() { # answers port [address]: a client gets "time:" and a 13-character stamp back (in reply)
  { exec 3<>"/dev/tcp/${2:-127.0.0.1}/$1"; } 2>/dev/null || return 1 # braces: stderr stays the script's
  printf 'time' >&3
  IFS= read -r -t 5 -N 18 reply <&3
  exec 3>&-
  [[ "$reply" =~ ^time:[0-9]{2}[A-Z]{3}[0-9]{8}$ ]]
}
quiet() { local out; out=$("$@" 2>&1) || { printf '%s\n' "$out"; return 1; }; } # says only why it failed
finish() { say "$((checks - failures)) passed, $failures failed"; [ "$failures" -eq 0 ] || { say "--- the last program's output"; cat "$folder/out.log" 2>/dev/null; false; }; }
refuses() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
settings_saved() { # five lines written at unload
  [ "$(grep -c $'\r$' "$folder/Server.ini")" -eq 5 ] && grep -q '^DaylightSavings=' "$folder/Server.ini"
}

# Pixels with a clear colour (channels apart by more than 40 of 255) in a part of the screen.
colourful_in() { # colourful_in WIDTHxHEIGHT+X+Y
  /usr/bin/import -window root -crop "$1" -depth 8 txt:- 2>/dev/null |
    awk -F'[(),]' 'NR > 1 { r=$3; g=$4; b=$5; mx=r; if (g>mx) mx=g; if (b>mx) mx=b;
                             mn=r; if (g<mn) mn=g; if (b<mn) mn=b; if (mx-mn > 40) n++ }
                   END { print n+0 }'
}
