# Helpers the benchmark scripts share; sourced, not run.

# A port below the ephemeral range that nobody listens on.
free_port() {
  local p
  for _ in $(seq 1 200); do
    p=$((20000 + RANDOM % 12768))
    if ! ss -Htln "sport = :$p" | grep -q .; then echo "$p"; return 0; fi
  done
  return 1
}

wait_listening() { # port, seconds
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    ss -Htln "sport = :$1" | grep -q . && return 0
    sleep 0.1
  done
  return 1
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
field() { sed -n "s/.*$1=\([-0-9.]*\).*/\1/p"; }

# The server's resident KiB while the probe holds N connections idle, each asked once;
# fails when they are not all answered within 10 s.
rss_while_holding() { # probe pid port connections scratch-file
  "$1" hold --port "$3" --connections "$4" --seconds 3 > "$5" &
  local hold_pid=$! held
  for _ in $(seq 1 100); do grep -q HELD "$5" && break; sleep 0.1; done
  grep -q HELD "$5" || { echo "the $4 connections were not all answered" >&2; wait "$hold_pid"; return 1; }
  sleep 1
  held=$(rss_kib "$2")
  wait "$hold_pid"
  echo "$held"
}
