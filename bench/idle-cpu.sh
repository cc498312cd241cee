#!/usr/bin/env bash
# Idle CPU of the real program: started in a temporary program folder, left alone for
# the given seconds (default 10) after a settling second, its CPU time read from
# /proc/PID/task/*/schedstat (nanoseconds). Server stopped by default; pass "listening"
# as the second argument to have it listen with no clients.
# Usage: bench/idle-cpu.sh [seconds] [idle|listening]   (QT_QPA_PLATFORM decides the display)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
exe=${TALLIX_EXE:-$here/build/tallix-server}
seconds=${1:-10}
mode=${2:-idle}
folder=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$folder"' EXIT
cp "$exe" "$folder/"
if [ "$mode" = listening ]; then
  printf 'StartOnLoad=1\r\nport=0\r\n' > "$folder/Server.ini"
fi
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
HOME=$folder XDG_CONFIG_HOME=$folder/config "$folder/tallix-server" >/dev/null 2>&1 &
pid=$!
sleep 1
cpu_ns() { cat /proc/"$pid"/task/*/schedstat | awk '{s+=$1} END {print s}'; }
a=$(cpu_ns); t0=$(date +%s%N)
sleep "$seconds"
b=$(cpu_ns); t1=$(date +%s%N)
awk -v a="$a" -v b="$b" -v t0="$t0" -v t1="$t1" -v m="$mode" -v p="$QT_QPA_PLATFORM" 'BEGIN {
  cpu=(b-a)/1e9; wall=(t1-t0)/1e9;
  printf "idle CPU (%s, %s): %.4f s in %.1f s = %.3f%% of one core\n", m, p, cpu, wall, 100*cpu/wall }'
