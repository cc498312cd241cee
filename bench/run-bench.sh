#!/usr/bin/env bash
# Compares the time server with the epoll yardstick under closed-loop load.
#
#   bench/run-bench.sh BUILD_DIR [SECONDS_PER_RUN=3] [ROUNDS=3]
#
# Builds nothing: BUILD_DIR must hold tallix-server and bench/{tallix-load,epoll-reference}.
# The server under test runs offscreen from a temporary program folder whose Server.ini
# starts it on load; SERVER=layer benchmarks bench/tallix-layer-server (the socket layer
# without a window) instead, SERVER=none the yardstick alone. Servers run on core 1, the
# load on core 0; the two servers take turns, N = 1, 16 and 255 in each round.
# LAYER_ARGS=--fixed-stamp gives the layer server a constant stamp. RULES_LINES=1000 puts
# an Access.txt of that many rules beside the program (loopback still allowed, every
# other line a network that does not hold it, of many prefix lengths and both protocols).
# SERVER=headless runs the program's window-less mode instead of its window, SERVER=daemon
# the daemon (tallix-serverd) on the same files; with either, METRICS=1
# gives it --metrics on a free loopback port, and SCRAPE=tight (a scraper in a closed
# loop) or SCRAPE=hostile (8 scrapers that send half a request and never read) works on
# that port during the program's runs only, from core 0 beside the load.
# NS="255" measures only those connection counts.
# PROXY=v1 or v2 makes the program expect PROXY headers from the load (proxy-from
# 127.0.0.1 in its Access.txt) and the load send one on each of its connections.
set -euo pipefail

build=${1:?usage: $0 BUILD_DIR [SECONDS] [ROUNDS]}
build=$(cd "$build" && pwd)
seconds=${2:-3}
rounds=${3:-3}
server_kind=${SERVER:-program}
load="$build/bench/tallix-load"
reference="$build/bench/epoll-reference"
for f in "$load" "$reference"; do
  [ -x "$f" ] || { echo "missing $f: build the bench targets first" >&2; exit 1; }
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
[ -n "${KEEP_RESULTS:-}" ] && trap 'cp "$tmp/results" "$KEEP_RESULTS"; cleanup' EXIT

ref_port=$(free_port)
taskset -c 1 "$reference" --port "$ref_port" --max-seconds 3600 &
ref_pid=$!
pids+=("$ref_pid")
wait_listening "$ref_port" 5 || { echo "the reference did not listen" >&2; exit 1; }

srv_pid=""
case "$server_kind" in
  program)
    [ -x "$build/tallix-server" ] || { echo "missing $build/tallix-server" >&2; exit 1; }
    srv_port=$(free_port)
    mkdir -p "$tmp/prog"
    cp "$build/tallix-server" "$tmp/prog/"
    printf 'StartOnLoad=1\r\nMinimizeOnLoad=0\r\nLogIPs=0\r\nport=%s\r\nDaylightSavings=0\r\n' "$srv_port" \
      > "$tmp/prog/Server.ini"
    if [ "${RULES_LINES:-0}" -gt 0 ]; then
      { printf 'allow 127.0.0.0/8\r\nallow ::1\r\nper-address 255\r\n'
        for i in $(seq 4 "$RULES_LINES"); do
          case $((i % 4)) in
            0) printf 'deny 10.%d.%d.0/24\r\n' $((i / 256 % 256)) $((i % 256)) ;;
            1) printf 'allow 172.%d.%d.%d\r\n' $((16 + i % 16)) $((i / 16 % 256)) $((i % 256)) ;;
            2) printf 'deny 2001:db8:%x::/%d\r\n' "$i" $((48 + i % 17)) ;;
            3) printf 'allow 100.%d.0.0/%d\r\n' $((64 + i % 64)) $((16 + i % 9)) ;;
          esac
        done; } > "$tmp/prog/Access.txt"
    fi
    [ -n "${PROXY:-}" ] && printf 'proxy-from 127.0.0.1\r\n' >> "$tmp/prog/Access.txt"
    (cd "$tmp/prog" && QT_QPA_PLATFORM=offscreen exec taskset -c 1 ./tallix-server) &
    srv_pid=$!
    ;;
  headless|daemon)
    if [ "$server_kind" = daemon ]; then exe=("$build/tallix-serverd"); else exe=("$build/tallix-server" --headless); fi
    [ -x "${exe[0]}" ] || { echo "missing ${exe[0]}" >&2; exit 1; }
    srv_port=$(free_port)
    mkdir -p "$tmp/prog"
    printf 'LogIPs=0\r\nport=%s\r\nDaylightSavings=0\r\n' "$srv_port" > "$tmp/prog/Server.ini"
    metrics_args=()
    if [ -n "${METRICS:-}" ]; then
      metrics_port=$(free_port)
      metrics_args=(--metrics "127.0.0.1:$metrics_port")
    fi
    taskset -c 1 "${exe[@]}" --folder "$tmp/prog" "${metrics_args[@]}" 2>"$tmp/stderr" &
    srv_pid=$!
    ;;
  layer)
    srv_port=$(free_port)
    taskset -c 1 "$build/bench/tallix-layer-server" --port "$srv_port" --max-seconds 3600 ${LAYER_ARGS:-} &
    srv_pid=$!
    ;;
  none) ;;
  *) echo "SERVER must be program, headless, daemon, layer or none" >&2; exit 2 ;;
esac
if [ -n "$srv_pid" ]; then
  pids+=("$srv_pid")
  if ! wait_listening "$srv_port" 10; then
    echo "the $server_kind server did not listen on $srv_port within 10 s; benchmarking the reference alone" >&2
    srv_pid=""
  fi
fi

results="$tmp/results"
: > "$results"
scrape_args=()
case "${SCRAPE:-}" in
  "") ;;
  tight) scrape_args=(scrape) ;;
  hostile) scrape_args=(scrape --hostile 8) ;;
  *) echo "SCRAPE must be tight or hostile" >&2; exit 2 ;;
esac
if [ ${#scrape_args[@]} -gt 0 ] && [ -z "${metrics_port:-}" ]; then
  echo "SCRAPE needs SERVER=headless or daemon and METRICS=1" >&2; exit 2
fi
run() { # name port pid connections [load options]
  local line scraper=""
  if [ "$1" != reference ] && [ ${#scrape_args[@]} -gt 0 ]; then
    taskset -c 0 "$build/bench/tallix-probe" "${scrape_args[@]}" --port "$metrics_port" --seconds $((seconds + 2)) \
      > "$tmp/scrape" &
    scraper=$!
    pids+=("$scraper")
  fi
  line=$(taskset -c 0 "$load" --port "$2" --pid "$3" --connections "$4" --seconds "$seconds" "${@:5}" | grep '^RESULT')
  echo "$1 $4 $line" | tee -a "$results"
  # A slot is free again only once the server has read its client's close: a next run
  # that connects at once could find all 255 still busy and be turned away.
  sleep 0.5
  if [ -n "$scraper" ]; then
    wait "$scraper" || true
    echo "  scraper: $(grep '^RESULT' "$tmp/scrape")"
  fi
}

for round in $(seq 1 "$rounds"); do
  for n in ${NS:-1 16 255}; do
    if [ $((round % 2)) -eq 1 ]; then order="ref srv"; else order="srv ref"; fi
    for who in $order; do
      if [ "$who" = ref ]; then run reference "$ref_port" "$ref_pid" "$n"
      elif [ -n "$srv_pid" ]; then run "$server_kind" "$srv_port" "$srv_pid" "$n" ${PROXY:+--proxy "$PROXY"}; fi
    done
  done
done

echo
echo "Medians over $rounds rounds of ${seconds}s (req/s, p99 latency, server CPU us per request):"
awk '
  { split($4, a, "="); rps[$1" "$2] = rps[$1" "$2] " " a[2];
    split($7, c, "="); cpu[$1" "$2] = cpu[$1" "$2] " " c[2];
    split($6, q, "="); p99[$1" "$2] = p99[$1" "$2] " " q[2]; names[$1] = 1; ns[$2] = 1 }
  function median(s,   v, n, i, j, t) {
    n = split(s, v, " ");
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] + 0 < v[i] + 0) { t = v[i]; v[i] = v[j]; v[j] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
  }
  END {
    split("1 16 255", order, " ");
    for (k = 1; k <= 3; k++) {
      n = order[k];
      if (!(("reference " n) in rps)) continue;
      rr = median(rps["reference " n]); rc = median(cpu["reference " n]); rq = median(p99["reference " n]);
      line = sprintf("N=%-4s reference %8.0f req/s p99 %7.1f us %6.2f us", n, rr, rq, rc);
      for (name in names) if (name != "reference" && (name " " n) in rps) {
        sr = median(rps[name " " n]); sc = median(cpu[name " " n]); sq = median(p99[name " " n]);
        line = line sprintf(" | %s %8.0f req/s p99 %7.1f us %6.2f us | ratio req/s %.2fx, p99 %.2fx, CPU %.2fx",
                            name, sr, sq, sc, sr / rr, (rq > 0 ? sq / rq : 0), (rc > 0 ? sc / rc : 0));
      }
      print line
    }
  }' "$results"
