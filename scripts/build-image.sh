#!/usr/bin/env bash
# Builds the container image tallix-server:<version> with Podman from the daemon's Debian
# package: the package and what it needs at run time (Qt Core and Network with their
# libraries), as Debian ships them, unpacked by mmdebstrap from Debian's archive into an
# empty root and imported as one layer. No shell, no package manager: only the daemon runs
# there. Each package's record stays in /var/lib/dpkg/status with the list of its files,
# and /etc/os-release names the release, so that security scanners see what is inside and
# Debian's security updates tell when to rebuild. Nothing comes from a container registry.
# Usage: build-image.sh [tallix-serverd_<version>_<arch>.deb]  (default: built now by
# scripts/build-deb.sh into build-deb/; the help text's package is taken from beside it).
# Prints the image's name and size.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh podman runc mmdebstrap netavark aardvark-dns iptables
export CONTAINERS_CONF=${CONTAINERS_CONF:-$PWD/packaging/container/containers.conf}

if [ $# -ge 1 ]; then
  deb=$(realpath "$1")
else
  scripts/build-deb.sh build-deb >/dev/null
  deb=$(realpath build-deb/tallix-serverd_*.deb)
fi
version=$(dpkg-deb -f "$deb" Version)
image=tallix-server:$version
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$deb" "$(dirname "$deb")"/tallix-server-common_"$version"_all.deb "$work/"

# The state folder belongs to an unprivileged user of its own; a fixed number, so that a
# volume's owner and Kubernetes' runAsUser can name it.
uid=1610
# Timestamps from the commit, so that the same checkout gives the same files.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
# What the daemon's package depends on, but the help text's package given beside it.
deps=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/[(|].*//; s/ //g' | grep -vx tallix-server-common | paste -sd,)
# "extract" unpacks the packages named and every package they depend on (base-files: the
# release in /etc/os-release) without running their maintainer scripts, there being no shell
# to run them. Its hooks, the only ones it runs, unpack the project's own two packages, write
# the records dpkg would have and add the user; they leave out the documentation but the
# copyright files, manual pages, translations, and the host's resolv.conf and hostname that
# mmdebstrap copied in.
# shellcheck disable=SC2016 # the hooks' $1 is mmdebstrap's, the root
mmdebstrap --variant=extract --quiet --include="$deps,base-files" \
  --extract-hook="for deb in '$work'/*.deb; do dpkg-deb --extract \"\$deb\" \"\$1\"; done" \
  --extract-hook='cd "$1" && rm -rf usr/share/man usr/share/info usr/share/locale usr/share/lintian etc/resolv.conf etc/hostname &&
    find usr/share/doc -mindepth 1 ! -name copyright ! -type d -delete && find usr/share/doc -type d -empty -delete' \
  --extract-hook="bash '$PWD/packaging/container/dpkg-records.sh' \"\$1\" '$work'" \
  --extract-hook="printf 'root:x:0:0:root:/root:/usr/sbin/nologin\ntallix:x:$uid:$uid:Tallix Server:/var/lib/tallix-server:/usr/sbin/nologin\n' >\"\$1/etc/passwd\"" \
  --extract-hook="printf 'root:x:0:\ntallix:x:$uid:\n' >\"\$1/etc/group\"" \
  --extract-hook="mkdir -p \"\$1/var/lib/tallix-server\" \"\$1/tmp\" && chmod 1777 \"\$1/tmp\" && chown $uid:$uid \"\$1/var/lib/tallix-server\"" \
  bookworm "$work/root.tar"

podman rmi --force "$image" >/dev/null 2>&1 || true
podman import --quiet \
  --change "USER $uid:$uid" \
  --change 'WORKDIR /var/lib/tallix-server' \
  --change 'VOLUME /var/lib/tallix-server' \
  --change 'EXPOSE 1610/tcp' --change 'EXPOSE 9161/tcp' \
  --change 'ENV LANG=C.UTF-8' \
  --change 'STOPSIGNAL SIGTERM' \
  --change 'ENTRYPOINT ["/usr/bin/tallix-serverd", "--folder", "/var/lib/tallix-server", "--metrics", "[::]:9161"]' \
  --change 'LABEL org.opencontainers.image.title="Tallix Server"' --change 'LABEL org.opencontainers.image.licenses=MIT' \
  --change "LABEL org.opencontainers.image.version=$version" \
  "$work/root.tar" "$image" >/dev/null
echo "$image $(podman image inspect --format '{{.Size}}' "$image" | awk '{printf "%.0f MB", $1 / 1e6}')"
