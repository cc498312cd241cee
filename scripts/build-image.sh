#!/usr/bin/env bash
# Builds the container image tallix-server:<version> with Podman: a minimal Debian 12 root
# made by mmdebstrap from Debian's archive, with the project's own Debian package installed
# in it by apt (so the image holds the same program, libraries and copyright files as a
# Debian install), imported as one layer. Nothing comes from a container registry.
# Usage: build-image.sh [tallix-server_<version>_<arch>.deb]  (default: built now by
# scripts/build-deb.sh into build-deb/). Prints the image's name and size.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh podman runc mmdebstrap netavark aardvark-dns iptables
export CONTAINERS_CONF=${CONTAINERS_CONF:-$PWD/packaging/container/containers.conf}

if [ $# -ge 1 ]; then
  deb=$(realpath "$1")
else
  scripts/build-deb.sh build-deb >/dev/null
  deb=$(realpath build-deb/tallix-server_*.deb)
fi
version=$(dpkg-deb -f "$deb" Version)
image=tallix-server:$version
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$deb" "$work/tallix-server.deb"

# The state folder belongs to an unprivileged user of its own; a fixed number, so that a
# volume's owner and Kubernetes' runAsUser can name it.
uid=1610
# Timestamps from the commit, so that the same checkout gives the same files.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
# Left out of the files dpkg unpacks: documentation but the copyright files, and what only a
# display would load, Mesa's drivers and the LLVM they compile shaders with (137 MB): the
# window-less mode never loads a display plugin.
mmdebstrap --variant=minbase --quiet --hook-dir=/usr/share/mmdebstrap/hooks/file-mirror-automount \
  --include="$work/tallix-server.deb" \
  --dpkgopt='path-exclude=/usr/share/man/*' --dpkgopt='path-exclude=/usr/share/locale/*' \
  --dpkgopt='path-exclude=/usr/share/doc/*' --dpkgopt='path-include=/usr/share/doc/*/copyright' \
  --dpkgopt='path-exclude=/usr/share/icons/*' --dpkgopt='path-exclude=/usr/share/applications/*' \
  --dpkgopt='path-exclude=/usr/lib/*/dri/*' --dpkgopt='path-exclude=/usr/lib/*/libLLVM-*' \
  --customize-hook="echo 'tallix:x:$uid:$uid:Tallix Server:/var/lib/tallix-server:/usr/sbin/nologin' >>\"\$1/etc/passwd\"" \
  --customize-hook="echo 'tallix:x:$uid:' >>\"\$1/etc/group\"" \
  --customize-hook="mkdir -p \"\$1/var/lib/tallix-server\" && chown $uid:$uid \"\$1/var/lib/tallix-server\"" \
  bookworm "$work/root.tar"

podman rmi --force "$image" >/dev/null 2>&1 || true
podman import --quiet \
  --change "USER $uid:$uid" \
  --change 'WORKDIR /var/lib/tallix-server' \
  --change 'VOLUME /var/lib/tallix-server' \
  --change 'EXPOSE 1610/tcp' --change 'EXPOSE 9161/tcp' \
  --change 'ENV PATH=/usr/sbin:/usr/bin:/sbin:/bin' --change 'ENV LANG=C.UTF-8' \
  --change 'STOPSIGNAL SIGTERM' \
  --change 'ENTRYPOINT ["/usr/bin/tallix-server", "--headless", "--folder", "/var/lib/tallix-server", "--metrics", "[::]:9161"]' \
  --change 'LABEL org.opencontainers.image.title="Tallix Server"' --change 'LABEL org.opencontainers.image.licenses=MIT' \
  --change "LABEL org.opencontainers.image.version=$version" \
  "$work/root.tar" "$image" >/dev/null
echo "$image $(podman image inspect --format '{{.Size}}' "$image" | awk '{printf "%.0f MB", $1 / 1e6}')"
