#!/usr/bin/env bash
# The time server's figures beside throughput: connection churn against the epoll
# yardstick, start-up against a minimal Qt program (and laid out as an installed copy), and
# memory with idle connections and with a client that floods without reading; the
# window-less mode's start-up and memory.
#
#   bench/resource-bench.sh BUILD_DIR [ROUNDS=5]
#
# Builds nothing: BUILD_DIR must hold tallix-server and bench/{tallix-probe,
# epoll-reference,tallix-minimal-listener}. The program runs offscreen from a temporary
# program folder whose Server.ini starts it on load; servers on core 1, clients on core 0.
set -euo pipefail

build=${1:?usage: $0 BUILD_DIR [ROUNDS]}
build=$(cd "$build" && pwd)
rounds=${2:-5}
probe="$build/bench/tallix-probe"
reference="$build/bench/epoll-reference"
minimal="$build/bench/tallix-minimal-listener"
for f in "$probe" "$reference" "$minimal" "$build/tallix-server"; do
  [ -x "$f" ] || { echo "missing $f: build it first" >&2; exit 1; }
done

. "$(dirname "$0")/bench-common.sh"

tmp=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT

# A program folder that starts the server on load on the given port.
make_folder() { # dir port
  mkdir -p "$1"
  cp "$build/tallix-server" "$1/"
  printf 'StartOnLoad=1\r\nMinimizeOnLoad=0\r\nLogIPs=0\r\nport=%s\r\nDaylightSavings=0\r\n' "$2" > "$1/Server.ini"
}
# The same, laid out as an installed copy (bin beside share/tallix-server) whose Server.ini
# is the user's; the copy beside bin/ serves a build that does not tell installed copies.
make_installed() { # dir port
  make_folder "$1/bin" "$2"
  mkdir -p "$1/share/tallix-server" "$XDG_CONFIG_HOME/tallix-server"
  cp "$build/Readme.txt" "$1/share/tallix-server/"
  cp "$1/bin/Server.ini" "$XDG_CONFIG_HOME/tallix-server/"
}
export QT_QPA_PLATFORM=offscreen HOME="$tmp" XDG_CONFIG_HOME="$tmp/config" XDG_STATE_HOME="$tmp/state"

echo "== start-up: exec to the port accepting, $rounds rounds each, alternating"
: > "$tmp/startup"
for round in $(seq 1 "$rounds"); do
  port=$(free_port)
  make_folder "$tmp/start$round" "$port"
  p=$("$probe" startup --port "$port" -- taskset -c 1 "$tmp/start$round/tallix-server" | field startup_ms)
  m_port=$(free_port)
  m=$("$probe" startup --port "$m_port" -- taskset -c 1 "$minimal" --port "$m_port" | field startup_ms)
  i_port=$(free_port)
  make_installed "$tmp/installed$round" "$i_port"
  i=$("$probe" startup --port "$i_port" -- taskset -c 1 "$tmp/installed$round/bin/tallix-server" | field startup_ms)
  echo "round $round: program $p ms, minimal Qt program $m ms, installed layout $i ms"
  echo "$p $m $i" >> "$tmp/startup"
done
sp=$(awk '{ print $1 }' "$tmp/startup" | median)
sm=$(awk '{ print $2 }' "$tmp/startup" | median)
si=$(awk '{ print $3 }' "$tmp/startup" | median)
echo "STARTUP program ${sp} ms, minimal ${sm} ms, ratio $(awk -v a="$sp" -v b="$sm" 'BEGIN { printf "%.2f", a / b }')x; installed layout ${si} ms"

echo "== the window-less mode (--headless) beside the window: start-up, and memory listening"
: > "$tmp/headless"
for round in $(seq 1 "$rounds"); do
  port=$(free_port)
  make_folder "$tmp/headless$round" "$port"
  env -u DISPLAY -u WAYLAND_DISPLAY "$probe" startup --port "$port" -- taskset -c 1 \
    "$tmp/headless$round/tallix-server" --headless 2>/dev/null | field startup_ms >> "$tmp/headless"
done
for mode in window headless; do
  port=$(free_port)
  make_folder "$tmp/rss-$mode" "$port"
  args=(); [ "$mode" = headless ] && args=(--headless)
  taskset -c 1 "$tmp/rss-$mode/tallix-server" "${args[@]}" 2>/dev/null &
  pids+=($!)
  wait_listening "$port" 10 && sleep 1
  echo "$mode $(rss_kib $!)" >> "$tmp/rss"
done
echo "HEADLESS start-up ${sp} ms with the window, $(median < "$tmp/headless") ms without;" \
  "RSS listening $(awk '$1 == "window" { print $2 }' "$tmp/rss") KiB with the window," \
  "$(awk '$1 == "headless" { print $2 }' "$tmp/rss") KiB without"

ref_port=$(free_port)
taskset -c 1 "$reference" --port "$ref_port" --max-seconds 600 &
ref_pid=$!
pids+=("$ref_pid")
srv_port=$(free_port)
make_folder "$tmp/prog" "$srv_port"
taskset -c 1 "$tmp/prog/tallix-server" 2>/dev/null &
srv_pid=$!
pids+=("$srv_pid")
wait_listening "$ref_port" 5 || { echo "the reference did not listen" >&2; exit 1; }
wait_listening "$srv_port" 10 || { echo "the program did not listen" >&2; exit 1; }

echo "== churn: 16 clients connecting, asking once and closing, 2 s runs, $rounds rounds"
: > "$tmp/churn"
for round in $(seq 1 "$rounds"); do
  if [ $((round % 2)) -eq 1 ]; then order="ref srv"; else order="srv ref"; fi
  for who in $order; do
    if [ "$who" = ref ]; then port=$ref_port pid=$ref_pid; else port=$srv_port pid=$srv_pid; fi
    line=$(taskset -c 0 "$probe" churn --port "$port" --connections 16 --seconds 2 --pid "$pid")
    echo "$who $line" | tee -a "$tmp/churn"
  done
done
cr=$(awk '$1 == "ref"' "$tmp/churn" | field cpu_us_per_conn | median)
cs=$(awk '$1 == "srv"' "$tmp/churn" | field cpu_us_per_conn | median)
rr=$(awk '$1 == "ref"' "$tmp/churn" | field conns_per_s | median)
rs=$(awk '$1 == "srv"' "$tmp/churn" | field conns_per_s | median)
echo "CHURN reference $rr conn/s ${cr} us/conn | program $rs conn/s ${cs} us/conn | CPU ratio $(awk -v a="$cs" -v b="$cr" 'BEGIN { printf "%.2f", a / b }')x"

echo "== memory: 255 idle connections"
sleep 1
before=$(rss_kib "$srv_pid")
held=$(rss_while_holding "$probe" "$srv_pid" "$srv_port" 255 "$tmp/hold")
echo "IDLECONN RSS with none ${before} KiB, with 255 idle ${held} KiB, difference $((held - before)) KiB"

echo "== memory: one client sending 64 KiB blocks without reading for 5 s, then reading"
sleep 1
before=$(rss_kib "$srv_pid")
taskset -c 0 "$probe" flood --port "$srv_port" --seconds 5 --chunk 65536 --read-timeout 60 > "$tmp/flood" &
flood_pid=$!
peak=$before
while kill -0 "$flood_pid" 2>/dev/null; do
  r=$(rss_kib "$srv_pid")
  [ "$r" -gt "$peak" ] && peak=$r
  sleep 0.05
done
flood_ok=0
wait "$flood_pid" && flood_ok=1
cat "$tmp/flood"
echo "FLOOD RSS idle ${before} KiB, peak ${peak} KiB, difference $((peak - before)) KiB, every byte answered: $([ $flood_ok = 1 ] && echo yes || echo NO)"
