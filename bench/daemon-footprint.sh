#!/usr/bin/env bash
# The daemon's footprint beside the window program's --headless: start-up (exec to the port
# accepting a connection), resident memory listening with no client, and with 255 idle
# connections. The two take turns in each round; medians at the end.
#
#   bench/daemon-footprint.sh BUILD_DIR [ROUNDS=5]
#
# Builds nothing: BUILD_DIR must hold tallix-server, tallix-serverd and bench/tallix-probe.
# Servers on core 1, the probe on core 0, no display in the environment.
set -euo pipefail

build=${1:?usage: $0 BUILD_DIR [ROUNDS]}
build=$(cd "$build" && pwd)
rounds=${2:-5}
probe="$build/bench/tallix-probe"
for f in "$probe" "$build/tallix-server" "$build/tallix-serverd"; do
  [ -x "$f" ] || { echo "missing $f: build it first" >&2; exit 1; }
done
unset DISPLAY WAYLAND_DISPLAY

. "$(dirname "$0")/bench-common.sh"
range() { sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { print lo ".." hi }'; }

tmp=$(mktemp -d)
srv_pid=""
cleanup() {
  [ -n "$srv_pid" ] && kill "$srv_pid" 2>/dev/null && wait "$srv_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

command_of() { # kind folder
  case "$1" in
    daemon) echo "$build/tallix-serverd --folder $2" ;;
    headless) echo "$build/tallix-server --headless --folder $2" ;;
  esac
}

: > "$tmp/results"
for round in $(seq 1 "$rounds"); do
  if [ $((round % 2)) -eq 1 ]; then order="daemon headless"; else order="headless daemon"; fi
  for kind in $order; do
    dir="$tmp/$kind$round"
    mkdir -p "$dir"
    port=$(free_port)
    printf 'LogIPs=0\r\nport=%s\r\nDaylightSavings=0\r\n' "$port" > "$dir/Server.ini"
    # shellcheck disable=SC2046
    startup=$("$probe" startup --port "$port" -- taskset -c 1 $(command_of "$kind" "$dir") 2>/dev/null \
      | field startup_ms)
    # shellcheck disable=SC2046
    taskset -c 1 $(command_of "$kind" "$dir") 2>/dev/null &
    srv_pid=$!
    wait_listening "$port" 10 && sleep 1
    idle=$(rss_kib "$srv_pid")
    held=$(rss_while_holding "$probe" "$srv_pid" "$port" 255 "$tmp/hold")
    kill "$srv_pid"; wait "$srv_pid" 2>/dev/null || true; srv_pid=""
    echo "$kind $startup $idle $held" | tee -a "$tmp/results"
  done
done

echo
echo "Medians (range) over $rounds rounds: start-up ms, RSS listening KiB, RSS with 255 idle connections KiB"
for kind in daemon headless; do
  col() { awk -v k="$kind" -v c="$1" '$1 == k { print $c }' "$tmp/results"; }
  printf '%-8s start-up %s ms (%s), idle %s KiB (%s), 255 clients %s KiB (%s)\n' "$kind" \
    "$(col 2 | median)" "$(col 2 | range)" "$(col 3 | median)" "$(col 3 | range)" "$(col 4 | median)" "$(col 4 | range)"
done
