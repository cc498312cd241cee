#!/usr/bin/env bash
# Builds the Debian packages into build-deb/ (or the folder given) with dpkg-buildpackage and
# debhelper, from a copy of the checkout's files so that no build output lands in the source
# tree: tallix-server_<version>_<arch>.deb (the window program), tallix-serverd_<version>_<arch>.deb
# (the daemon and the systemd units) and tallix-server-common_<version>_all.deb (the help text
# both use). Compiles the programs alone, without the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh debhelper
out=${1:-build-deb}
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/tallix-server"
# The files git knows of, committed or not, that are there.
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
  tar --null -T - -cf - | tar -xf - -C "$work/tallix-server"
(cd "$work/tallix-server" &&
  DEB_BUILD_OPTIONS="nocheck noddebs parallel=$(nproc)" dpkg-buildpackage -b -us -uc >"$work/build.log" 2>&1) ||
  { tail -40 "$work/build.log" >&2; exit 1; }
rm -f "$out"/tallix-server{,d,-common}_*.deb
cp "$work"/*.deb "$out"/
ls "$out"/tallix-server{,d,-common}_*.deb
