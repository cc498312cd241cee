#!/usr/bin/env bash
# Changes the kernel's clock state for real for the clock tests, only when asked to
# (TALLIX_TEST_KERNEL_CLOCK=1, a disposable machine) and where no time daemon keeps the
# clock, and puts back exactly what it found (.ci/run compares the state before and after).
#   guard COMMAND...  runs COMMAND (one at a time on the machine) with TALLIX_KERNEL_CLOCK="THIS DIR"
#                     where allowed, else TALLIX_KERNEL_CLOCK_SKIP saying why; restores however it ends
#   sync DIR          chronyd serving on loopback and a client of it, until the kernel reads synchronised
#   unsync DIR        ends both by PID and sets the state of a clock nobody keeps (STA_UNSYNC, 16 s)
set -uo pipefail
field() { adjtimex --print | awk -v f="$1:" '$1 == f {print $2}'; }
chronyd_path() { command -v chronyd || ls "${XDG_CACHE_HOME:-$HOME/.cache}"/tallix-server-tests/chrony/usr/sbin/chronyd 2>/dev/null; }
stop_chronyd() {
  for f in "$1"/*.started; do
    [ -f "$f" ] && kill "$(cat "$f")" 2>/dev/null && timeout 5 tail --pid="$(cat "$f")" -f /dev/null
    rm -f "$f"
  done
}
# Only what differs, since writing the offset starts a new adjustment. adjtimex(8) adds 4 to
# a time constant outside nanosecond mode: that one is written in it (ADJ_NANO |
# ADJ_TIMECONST), then back to microseconds (ADJ_MICRO) unless the state found was in nanoseconds.
restore() {
  [ -f "$1/changed" ] || return 0
  stop_chronyd "$1"
  local args=() name value
  while IFS== read -r name value; do
    [ "$(field "$name")" = "$value" ] && continue
    [ "$name" != time_constant ] && args+=("--$name" "$value") && continue
    perl -e 'syscall(159, my $t = pack("L x44 q x152", 0x2020, $ARGV[0])) >= 0 or die "adjtimex: $!";
             $ARGV[1] & 0x2000 or syscall(159, my $m = pack("L x204", 0x1000))' "$value" "$(grep ^status= "$1/saved" | cut -d= -f2)"
  done <"$1/saved"
  [ ${#args[@]} -eq 0 ] || adjtimex "${args[@]}"
}
case "${1:-}" in
guard)
  shift
  dir=$(mktemp -d) status=1
  skip="opt-in: TALLIX_TEST_KERNEL_CLOCK=1 lets it change the kernel's clock state (a disposable machine)"
  if [ "${TALLIX_TEST_KERNEL_CLOCK:-}" = 1 ]; then
    # The lock first: another guard's own chronyd is no time daemon of the machine's.
    exec 9>/tmp/tallix-kernel-clock.lock
    flock -w 900 9 || exit 1
    skip=
    for d in chronyd ntpd systemd-timesyn; do # ntpd: ntpsec's and OpenNTPD's too
      pgrep -x "$d" >/dev/null && skip="the time daemon $d keeps this machine's clock: its state is left alone"
    done
    (((0x$(awk '/^CapEff:/ {print $2}' /proc/self/status) >> 25 & 1) == 1)) ||
      skip=${skip:-"no CAP_SYS_TIME: the kernel's clock state may not be changed here"}
    [ -n "$(chronyd_path)" ] && command -v adjtimex >/dev/null ||
      skip=${skip:-"chronyd or adjtimex missing (scripts/setup-debian.sh --tests provides them)"}
  fi
  if [ -n "$skip" ]; then
    export TALLIX_KERNEL_CLOCK_SKIP=$skip
  else
    for f in offset frequency maxerror esterror time_constant tick status; do echo "$f=$(field $f)"; done >"$dir/saved"
    export TALLIX_KERNEL_CLOCK="$(readlink -f "$0") $dir"
    trap 'restore "$dir" || status=1; rm -rf "$dir"; exit "$status"' EXIT
    trap 'kill -- -"$child" 2>/dev/null; wait "$child"; status=130; exit 130' INT TERM HUP
  fi
  # A process group of its own, so that a signal here ends the test and what it started.
  setsid "$@" &
  child=$!
  wait "$child"
  status=$?
  ;;
sync)
  touch "$2/changed"
  common=("cmdport 0" "bindcmdaddress /" "pidfile $2/\$1.pid" "driftfile $2/\$1.drift")
  printf '%s\n' "local stratum 3" "allow 127.0.0.1" "port 11123" "${common[@]//\$1/server}" >"$2/server.conf"
  printf '%s\n' "server 127.0.0.1 port 11123 iburst minpoll -4 maxpoll -4" "makestep 1 -1" "port 0" \
    "${common[@]//\$1/client}" >"$2/client.conf"
  for role in server client; do
    "$(chronyd_path)" -u root $([ $role = server ] && echo -x) -d -f "$2/$role.conf" >"$2/$role.log" 2>&1 &
    echo $! >"$2/$role.started"
  done
  for _ in $(seq 150); do
    [ "$(field maxerror)" -lt 16000000 ] && exit 0
    sleep 0.1
  done
  cat "$2"/*.log >&2
  exit 1
  ;;
unsync)
  touch "$2/changed"
  stop_chronyd "$2"
  adjtimex --status $(($(field status) | 64)) --maxerror 16000000 --esterror 16000000
  ;;
esac
