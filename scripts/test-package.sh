#!/usr/bin/env bash
# Builds the Debian package (scripts/build-deb.sh) and checks it (tests/packaging): lintian,
# the desktop entry, the AppStream metadata and the unit, then installs it with apt-get, runs
# the installed program as root and as an ordinary user, and purges it. It changes the
# system's packages, so it is not part of scripts/test.sh; .ci/run runs it after that.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh debhelper lintian desktop-file-utils appstream man-db systemd util-linux
scripts/build-deb.sh build-deb
bash tests/packaging/check-package.sh build-deb/tallix-server_*.deb
