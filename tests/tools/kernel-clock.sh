#!/usr/bin/env bash
# Changes the kernel's clock state for real for the clock tests, and puts it back as these
# machines start (STA_UNSYNC, maximum and estimated error 16 s, the tick and frequency found).
#   guard COMMAND...  runs COMMAND (one at a time on the machine) with TALLIX_KERNEL_CLOCK="THIS DIR"
#                     where allowed, else TALLIX_KERNEL_CLOCK_SKIP saying why; restores however it ends
#   sync DIR          chronyd serving on loopback and a client of it, until the kernel reads synchronised
#   unsync DIR        ends both by PID and restores
set -uo pipefail
field() { adjtimex --print | awk -v f="$1:" '$1 == f {print $2}'; }
unsync() {
  for f in "$1"/*.started; do
    [ -f "$f" ] && kill "$(cat "$f")" 2>/dev/null && timeout 5 tail --pid="$(cat "$f")" -f /dev/null
    rm -f "$f"
  done
  . "$1/saved"
  adjtimex --tick "$tick" --frequency "$frequency" --status 64 --maxerror 16000000 --esterror 16000000
}
case "${1:-}" in
guard)
  shift
  dir=$(mktemp -d)
  if (( (0x$(awk '/^CapEff:/ {print $2}' /proc/self/status) >> 25 & 1) == 0 )); then
    export TALLIX_KERNEL_CLOCK_SKIP="no CAP_SYS_TIME: the kernel's clock state may not be changed here"
  elif ! command -v chronyd >/dev/null || ! command -v adjtimex >/dev/null; then
    export TALLIX_KERNEL_CLOCK_SKIP="chronyd or adjtimex missing (scripts/setup-debian.sh installs them)"
  else
    exec 9>/tmp/tallix-kernel-clock.lock
    flock -w 900 9 || exit 1
    echo "tick=$(field tick) frequency=$(field frequency)" >"$dir/saved"
    export TALLIX_KERNEL_CLOCK="$(readlink -f "$0") $dir"
    trap 'unsync "$dir"; rm -rf "$dir"' EXIT
    trap 'kill -- -"$child" 2>/dev/null; wait "$child"; exit 130' INT TERM HUP
  fi
  # A process group of its own, so that a signal here ends the test and what it started.
  setsid "$@" &
  child=$!
  wait "$child"
  ;;
sync)
  common=("cmdport 0" "pidfile $2/\$1.pid" "driftfile $2/\$1.drift")
  printf '%s\n' "local stratum 3" "allow 127.0.0.1" "port 11123" "${common[@]//\$1/server}" >"$2/server.conf"
  printf '%s\n' "server 127.0.0.1 port 11123 iburst minpoll -4 maxpoll -4" "makestep 1 -1" "port 0" \
    "${common[@]//\$1/client}" >"$2/client.conf"
  for role in server client; do
    chronyd -u root $([ $role = server ] && echo -x) -d -f "$2/$role.conf" >"$2/$role.log" 2>&1 &
    echo $! >"$2/$role.started"
  done
  for _ in $(seq 150); do
    [ "$(field maxerror)" -lt 16000000 ] && exit 0
    sleep 0.1
  done
  cat "$2"/*.log >&2
  exit 1
  ;;
unsync) unsync "$2" ;;
esac
