#!/usr/bin/env bash
# The Kubernetes manifests, as far as this machine can check them without a cluster: both
# Kustomizations render with kubectl's kustomize, every rendered object passes the API's
# schemas with strict fields (validate.mjs, kubernetes-models from npm), and Podman plays
# the local one's Deployment: a loopback client is served through its hostPort on
# 127.0.0.1, with the security context and the configuration from the ConfigMap in force.
# Usage: check-manifests.sh IMAGE  (CONTAINERS_CONF set as scripts/build-image.sh sets it)
set -uo pipefail
image=$1
here=$(cd "$(dirname "$0")" && pwd)
top=$here/../..
source "$here/../e2e/e2e-helpers.sh" # check, wait_for, free_port, answers
# kubectl is not in Debian 12: without it nothing here can be checked, and that is said.
if ! command -v kubectl >/dev/null; then
  say "skipped: no kubectl on this machine, the manifests were neither rendered, validated nor played"
  say "0 passed, 0 failed, 1 skipped"
  [ "${TALLIX_TEST_NO_SKIP:-}" != 1 ] || { say "FAIL - TALLIX_TEST_NO_SKIP=1 says every check runs here"; exit 1; }
  exit 0
fi
command -v npm >/dev/null || "$top/scripts/setup-debian.sh" nodejs npm
tools=$top/build-kube
mkdir -p "$tools" && cp "$here/package.json" "$here/package-lock.json" "$here/validate.mjs" "$tools/"
(cd "$tools" && npm ci --no-audit --no-fund --silent) || { say "FAIL - npm ci"; exit 1; }
play=$(mktemp -d)
# Podman keeps the pod's volumes after the pod is gone.
trap 'podman kube down "$play/pod.yaml" >/dev/null 2>&1
      podman volume rm tallix-server-state $(sed -n "s/^  name: \(tallix-server-config-.*\)/\1/p" "$play/pod.yaml") >/dev/null 2>&1
      rm -rf "$play"' EXIT

for dir in kubernetes podman; do
  check "packaging/$dir renders" bash -c "kubectl kustomize '$top/packaging/$dir' >'$play/$dir.yaml'"
  check "and every object passes its schema" node "$tools/validate.mjs" <"$play/$dir.yaml"
done
free_port port
free_port metrics
sed -e "s/hostPort: 1610/hostPort: $port/; s/hostPort: 9161/hostPort: $metrics/" \
    -e "s|image: tallix-server:.*|image: $image|" "$play/podman.yaml" >"$play/pod.yaml"
check "podman kube play starts the Deployment's pod" quiet podman kube play "$play/pod.yaml"
check "a loopback client is served through the hostPort on 127.0.0.1" wait_for 20 answers "$port"
check "/ready answers 200 through the metrics hostPort" \
  test "$(curl --silent --max-time 5 -o /dev/null -w '%{http_code}' "http://127.0.0.1:$metrics/ready")" = 200
container=$(podman ps --format '{{.Names}}' | grep -m1 '^tallix-server-pod-.*-tallix-server$')
check "read-only root, no capabilities, user 1610" test "$(podman inspect --format \
  '{{.HostConfig.ReadonlyRootfs}} {{.EffectiveCaps}} {{.Config.User}}' "$container")" = "true [] 1610:1610"
check "Server.ini from the ConfigMap is in force: the client was logged (in the state folder's volume)" \
  wait_for 5 grep -q '^\[' "$(podman inspect --format '{{range .Mounts}}{{.Source}}{{end}}' "$container")"/Logs/*.log
finish
