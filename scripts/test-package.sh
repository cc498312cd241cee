#!/usr/bin/env bash
# Builds the Debian packages (scripts/build-deb.sh) and checks each of the two programs'
# packages alone (tests/packaging/check-package.sh): lintian, then apt-get installing it into
# a fresh minimal Debian 12 root made by mmdebstrap from Debian's archive, running it there
# on loopback and purging it. The root is thrown away after each; the machine's own packages
# are left as they were, but it needs root and the archive, so .ci/run runs it after
# scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh debhelper lintian desktop-file-utils appstream man-db systemd util-linux mmdebstrap
scripts/build-deb.sh build-deb
rc=0
for pkg in tallix-serverd tallix-server; do
  echo "--- $pkg"
  bash tests/packaging/check-package.sh "$pkg" build-deb || rc=1
done
exit $rc
