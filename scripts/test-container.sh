#!/usr/bin/env bash
# Builds the container image of the daemon (scripts/build-image.sh) and checks it with Podman
# (tests/container/check-image.sh), then renders, validates and plays the Kubernetes
# manifests with it (tests/kubernetes/check-manifests.sh). Runs as root; it changes the
# machine's containers, so .ci/run runs it after the test command, never scripts/test.sh.
# Usage: test-container.sh [tallix-serverd_<version>_<arch>.deb]  (default: built from this checkout)
# Podman's network turns on IP forwarding and adds firewall chains: both are put back at
# the end, with the image, its containers and the pod.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh podman runc mmdebstrap netavark aardvark-dns iptables catatonit curl prometheus util-linux python3
export CONTAINERS_CONF=$PWD/packaging/container/containers.conf
forwarding=$(sysctl -n net.ipv4.ip_forward)
had_chains=$(iptables-save | grep -c NETAVARK || true)
had_pause=$(podman images --quiet --filter reference=localhost/podman-pause)
image=""
cleanup() {
  [ -n "$image" ] && podman rmi --force "$image" >/dev/null 2>&1
  [ -z "$had_pause" ] && podman rmi --force $(podman images --quiet --filter reference=localhost/podman-pause) >/dev/null 2>&1
  # Netavark leaves its base chains once the last container is gone; ours go if they
  # were not there before.
  if [ "$had_chains" = 0 ] && [ -z "$(podman ps --all --quiet)" ]; then
    iptables -D FORWARD -m comment --comment "netavark firewall plugin rules" -j NETAVARK_FORWARD
    iptables -t nat -D PREROUTING -m addrtype --dst-type LOCAL -j NETAVARK-HOSTPORT-DNAT
    iptables -t nat -D OUTPUT -m addrtype --dst-type LOCAL -j NETAVARK-HOSTPORT-DNAT
    iptables -t nat -D POSTROUTING -j NETAVARK-HOSTPORT-MASQ
    iptables -F NETAVARK_FORWARD && iptables -X NETAVARK_FORWARD
    for chain in NETAVARK-HOSTPORT-DNAT NETAVARK-HOSTPORT-MASQ NETAVARK-HOSTPORT-SETMARK; do
      iptables -t nat -F "$chain" && iptables -t nat -X "$chain"
    done
  fi 2>/dev/null
  sysctl -qw net.ipv4.ip_forward="$forwarding"
}
trap cleanup EXIT
start=$(date +%s)
image=$(scripts/build-image.sh "$@" | tail -1 | cut -d' ' -f1)
built=$(date +%s)
echo "container image: $image built in $((built - start)) s"
rc=0
bash tests/container/check-image.sh "$image" || rc=1
bash tests/kubernetes/check-manifests.sh "$image" || rc=1
echo "container checks: $(($(date +%s) - built)) s"
exit $rc
