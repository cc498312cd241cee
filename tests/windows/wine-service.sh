#!/usr/bin/env bash
# The daemon under Wine, without a display: its console (--version through cmd, Ctrl+C's
# drain) and the service the setup program registers with /SERVICE: sc start and a loopback
# client, the listening line in Wine's Event Log trace, sc stop letting the replies queued for
# a client that does not read leave, the silent uninstall removing the service and keeping
# its settings. Usage: wine-service.sh <setup program> <service-control.exe>
set -uo pipefail
top=$(mktemp -d "${TMPDIR:-/tmp}/tallix-wine-service.XXXXXX")
export WINEPREFIX=$top/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" LC_ALL=C
source "$(dirname "$0")/../e2e/e2e-helpers.sh" # check, wait_for, free_port, answers
trap 'wineserver -k >/dev/null 2>&1; rm -rf "$top"' EXIT
inst="$WINEPREFIX/drive_c/Program Files/Tallix Server" data="$WINEPREFIX/drive_c/ProgramData/Tallix Server"
events='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\TallixServer'
is() { wine sc query TallixServer 2>/dev/null | grep -q "STATE *: [0-9]  $1"; }
# The prefix made first (its first boot starts the services anew, forgetting a later
# change); then one persistent server, whose services trace their Event Log calls to a file.
wineboot -i >/dev/null 2>&1 && wineserver -k && wineserver -p </dev/null >/dev/null 2>&1
WINEDEBUG=+eventlog wineboot >"$top/services.log" 2>&1 || { echo "FAIL - wineboot"; exit 1; }

check "the silent install with /SERVICE registers the service, its event source, Server.ini for 1610" \
  bash -c 'wine "$0" /S /SERVICE && wine reg query "${1/EventLog\\Application\\/}" | grep -q "tallix-serverd.exe\" --folder" &&
           wine reg query "$1" >/dev/null && grep -q "^port=1610" "$2/Server.ini"' "$1" "$events" "$data"
check "--version from cmd prints into the console" \
  bash -c 'wine cmd /c "C:\Program Files\Tallix Server\tallix-serverd.exe" --version | grep -q "^tallix-serverd 1"'
wine sc stop TallixServer >/dev/null 2>&1; wait_for 30 is STOPPED
free_port port && printf 'port=%s\r\n' "$port" >"$data/Server.ini"
wine sc start TallixServer >/dev/null 2>&1
check "sc start: RUNNING, and a loopback client gets its stamp" wait_for 60 answers "$port"
check "... the service's listening line is in Wine's Event Log trace" grep -q "listening on port $port" "$top/services.log"
printf 'allow 127.0.0.1\r\nnot a rule\r\n' >"$data/Access.txt"
check "PARAMCHANGE reads Access.txt again and reports its bad line" bash -c 'wine "$0" TallixServer 6 &&
  for _ in $(seq 100); do grep -q "Access.txt ignored.*not a rule" "$1" && exit 0; sleep 0.2; done; exit 1' "$2" "$top/services.log"
# A client that reads nothing floods the server (3 s at most); after sc stop every reply
# arrives and the connection ends without a reset. (Under Wine the replies have all left the
# program into the system's buffers by then: the drain of a backlog shows on Linux only.)
check "sc stop: every reply to a flooding client arrives, no reset" python3 -c '
import re, socket, subprocess, sys, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
s.connect(("127.0.0.1", int(sys.argv[1]))); s.setblocking(False)
sent, end = 0, time.time() + 3
while time.time() < end and sent < 64 << 20:
    try: sent += s.send(b"a" * 65536)
    except BlockingIOError: time.sleep(0.05)
subprocess.Popen(["wine", "sc", "stop", "TallixServer"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
s.setblocking(True); s.settimeout(60)
data = re.sub(rb":\d\d[A-Z]{3}\d{8}", b"", b"".join(iter(lambda: s.recv(65536), b"")))
sys.exit(0 if 65536 <= len(data) <= sent and not data.strip(b"a") else f"{len(data)} of {sent} bytes came back")' "$port"
stopped() { is STOPPED && wine sc query TallixServer | grep -q "WIN32_EXIT_CODE *: 0 "; }
check "... then STOPPED with exit code 0" wait_for 30 stopped

# The console program: Ctrl+C (SIGINT through Wine) drains and ends it with status 0.
(cd "$inst" && exec timeout 60 wine tallix-serverd.exe --folder 'C:\ProgramData\Tallix Server') >"$top/console.log" 2>&1 &
dpid=$!
wait_for 60 grep -q listening "$top/console.log" && kill -INT $dpid
wait $dpid
check "Ctrl+C in its console stops the daemon after its drain, with status 0" \
  bash -c '[ "$0" -eq 0 ] && grep -q "stopped" "$1"' $? "$top/console.log"

check "the silent uninstall removes the service, its event source and the program, keeps Server.ini" \
  bash -c 'wine "$0/Uninstall.exe" /S; for _ in $(seq 300); do [ -e "$0" ] || break; sleep 0.1; done
           [ ! -e "$0" ] && ! wine sc query TallixServer | grep -q STATE && ! wine reg query "$1" >/dev/null 2>&1 &&
           [ -f "$2/Server.ini" ]' "$inst" "$events" "$data"
[ $failures -eq 0 ] || { echo "--- Event Log trace"; grep -i eventlog "$top/services.log" | tail -20; }
exit $((failures > 0))
