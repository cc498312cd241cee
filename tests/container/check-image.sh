#!/usr/bin/env bash
# The container image as an operator runs it, as root with Podman: a read-only root, every
# capability dropped, an unprivileged user, the ports published on 127.0.0.1 only and the
# state folder a volume. Clients over IPv4 (through the published port) and IPv6 (on the
# container's own loopback), /metrics and /ready, the connection log in the volume, and a
# stop that lets the replies queued for a client leave before it ends with status 0.
# Usage: check-image.sh IMAGE  (CONTAINERS_CONF set as scripts/build-image.sh sets it)
set -uo pipefail
image=$1
source "$(dirname "$0")/../e2e/e2e-helpers.sh" # check, wait_for, free_port, answers
name=tallix-check-$$
state=$(mktemp -d)
trap 'podman rm --force --time 0 "$name" >/dev/null 2>&1; rm -rf "$state"' EXIT
printf 'StartOnLoad=1\r\nLogIPs=1\r\nport=1610\r\n' >"$state/Server.ini"
chown -R 1610:1610 "$state"
free_port port
free_port metrics
podman run --detach --name "$name" --read-only --cap-drop=ALL --security-opt no-new-privileges \
  --user 1610:1610 -p "127.0.0.1:$port:1610" -p "127.0.0.1:$metrics:9161" \
  -v "$state:/var/lib/tallix-server" "$image" >/dev/null

check "a loopback client gets its stamp over IPv4, through the published port" wait_for 20 answers "$port"
in_container() { nsenter --target "$(podman inspect --format '{{.State.Pid}}' "$name")" --net "$@"; }
check "and over IPv6, on the container's loopback" in_container bash -c "$(declare -f answers); answers 1610 ::1"
scrape() { curl --silent --fail --max-time 5 "http://127.0.0.1:$metrics/$1"; }
# promtool passes an empty text: the scrape's own failure counts, and what it read is checked.
check "/metrics passes promtool check metrics" bash -c "set -o pipefail; $(declare -f scrape); metrics=$metrics
  scrape metrics | tee $state/metrics.txt | promtool check metrics"
check "... and says the server listens" grep -q '^tallix_listening 1$' "$state/metrics.txt"
check "/ready answers 200" test "$(curl --silent --max-time 5 -o /dev/null -w '%{http_code}' "http://127.0.0.1:$metrics/ready")" = 200
check "the connection log lands in the volume" wait_for 5 grep -q $'^\\[.*\\] [0-9a-f.:]*\r$' "$state"/Logs/*.log
check "the program runs as 1610, not root" test "$(ps -o uid= -p "$(podman inspect --format '{{.State.Pid}}' "$name")" | tr -d ' ')" = 1610

# A client that sends without reading has replies queued when the stop comes: every one of
# them arrives, whole and in order, and then the end of the stream, not a reset.
python3 - "$port" >"$state/flood.out" 2>&1 <<'EOF' &
import re, socket, sys, time
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)  # the replies wait in the program
s.connect(("127.0.0.1", int(sys.argv[1])))
s.setblocking(False)
sent = b""
deadline, idle = time.time() + 10, 0
while time.time() < deadline and idle < 10:  # until the program stops reading from it
    try:
        sent += b"x" * s.send(b"x" * 65536)
        idle = 0
    except BlockingIOError:
        idle += 1
        time.sleep(0.05)
print("flooded", flush=True)
s.setblocking(True); s.settimeout(30)
got = b""
while chunk := s.recv(1 << 16): got += chunk
echoed = re.sub(rb":\d\d[A-Z]{3}\d{8}", b"", got)
ok = re.fullmatch(rb"(x+:\d\d[A-Z]{3}\d{8})+", got) and sent.startswith(echoed) and len(got) > 65536
print("replies whole" if ok else f"bad replies: {len(got)} bytes received, {len(sent)} sent")
EOF
client=$!
wait_for 20 grep -q flooded "$state/flood.out"
podman stop --time 20 "$name" >/dev/null
wait "$client"
check "podman stop: the queued replies reach the client whole and in order" grep -q 'replies whole' "$state/flood.out"
check "the program ended with status 0 on SIGTERM" test "$(podman inspect --format '{{.State.ExitCode}}' "$name")" = 0
check "its last line on standard error says it stopped" test "$(podman logs "$name" 2>&1 | tail -1)" = "tallix-server: stopped"
size=$(podman image inspect --format '{{.Size}}' "$image") && check "the image holds $((size / 1000000)) MB, at most 100" test "$size" -le 100000000
finish
