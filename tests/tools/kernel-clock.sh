#!/usr/bin/env bash
# Changes the kernel's clock state for real for the clock tests, only when asked to
# (TALLIX_TEST_KERNEL_CLOCK=1, a disposable machine) and where no time daemon keeps the
# clock, and puts back exactly what it found, checked.
#   guard COMMAND...  runs COMMAND (one at a time on the machine) with TALLIX_KERNEL_CLOCK="THIS DIR"
#                     where allowed, else TALLIX_KERNEL_CLOCK_SKIP saying why; restores however it ends
#   sync DIR          chronyd serving on loopback and a client of it, until the kernel reads synchronised
#   unsync DIR        ends both by PID and sets the state of a clock nobody keeps (STA_UNSYNC, 16 s)
set -uo pipefail
field() { adjtimex --print | awk -v f="$1:" '$1 == f {print $2}'; }
state() { for f in offset frequency maxerror esterror status time_constant tick; do echo "$f=$(field $f)"; done; }
chronyd_path() { command -v chronyd || ls "${XDG_CACHE_HOME:-$HOME/.cache}"/tallix-server-tests/chrony/usr/sbin/chronyd 2>/dev/null; }
stop_chronyd() {
  for f in "$1"/*.started; do
    [ -f "$f" ] && kill "$(cat "$f")" 2>/dev/null && timeout 5 tail --pid="$(cat "$f")" -f /dev/null
    rm -f "$f"
  done
}
restore() {
  [ -f "$1/changed" ] || return 0
  stop_chronyd "$1"
  local args=() name value
  # Only what differs: writing the offset starts a new adjustment. adjtimex(8) adds 4 to a
  # time constant outside nanosecond mode, so that is written in it (ADJ_NANO |
  # ADJ_TIMECONST), then back to microseconds (ADJ_MICRO) unless found in nanoseconds.
  while IFS== read -r name value; do
    [ "$(field "$name")" = "$value" ] && continue
    case $name in
    time_constant) perl -e 'syscall(159, my $t = pack("L x44 q x152", 0x2020, $ARGV[0])) >= 0 or die "adjtimex: $!";
                            $ARGV[1] & 0x2000 or syscall(159, my $m = pack("L x204", 0x1000))' \
                     "$value" "$(grep ^status= "$1/saved" | cut -d= -f2)" ;;
    *) args+=("--${name/time_constant/timeconstant}" "$value") ;;
    esac
  done <"$1/saved"
  [ ${#args[@]} -eq 0 ] || adjtimex "${args[@]}"
  # Checked, not assumed; the kernel may have added its half a millisecond a second to the
  # maximum error of a clock nobody keeps meanwhile.
  local after
  after=$(state | awk -F= -v was="$(grep ^maxerror= "$1/saved" | cut -d= -f2)" \
          '$1 == "maxerror" && $2 - was >= 0 && $2 - was <= 1000 {$2 = was} {print $1 "=" $2}')
  [ "$after" = "$(cat "$1/saved")" ] && return 0
  echo "kernel-clock.sh: the kernel's clock state found was not put back:" >&2
  diff "$1/saved" - <<<"$after" >&2
  return 1
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
    if [ -z "$skip" ] && (((0x$(awk '/^CapEff:/ {print $2}' /proc/self/status) >> 25 & 1) == 0)); then
      skip="no CAP_SYS_TIME: the kernel's clock state may not be changed here"
    elif [ -z "$skip" ] && { [ -z "$(chronyd_path)" ] || ! command -v adjtimex >/dev/null; }; then
      skip="chronyd or adjtimex missing (scripts/setup-debian.sh --tests provides them)"
    fi
  fi
  if [ -n "$skip" ]; then
    export TALLIX_KERNEL_CLOCK_SKIP=$skip
  else
    state >"$dir/saved"
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
