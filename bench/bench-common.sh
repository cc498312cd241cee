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
