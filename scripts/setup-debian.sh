#!/usr/bin/env bash
# Installs what building and running need on Debian 12; with --tests first, also what the
# test suite needs (X server, trays, balancer, metrics checker, clang, locales ...), and
# generates the locales the tests use. Safe to run again: it installs only what is missing.
# Packages given as arguments are installed as well (the Windows build names its own).
#
#   scripts/setup-debian.sh [--tests] [package ...]
set -euo pipefail

packages=(cmake g++ make pkg-config qt6-base-dev libxcb1-dev libgl-dev)
tests=0
if [ "${1:-}" = "--tests" ]; then
  tests=1
  shift
  packages+=(systemd prometheus
             xvfb xauth trayer xdotool x11-utils imagemagick locales procps
             lxqt-panel dbus-daemon libglib2.0-bin
             haproxy faketime adjtimex socat libcap2 libedit2 libgnutls30 libnettle8 libseccomp2
             clang libclang-rt-14-dev clang-format)
fi
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -q
  # --no-remove: an install that would take a package away (chrony would take the machine's
  # time service) is refused instead of done.
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends --no-remove "${missing[@]}"
fi

[ $tests -eq 1 ] || exit 0

# The clock tests' chronyd: Debian's chrony unpacked, not installed, since installing it
# would take the machine's own time service away (they conflict).
chrony=${XDG_CACHE_HOME:-$HOME/.cache}/tallix-server-tests/chrony
if ! command -v chronyd >/dev/null && [ ! -x "$chrony/usr/sbin/chronyd" ]; then
  fetched=$(mktemp -d)
  (cd "$fetched" && apt-get download -q chrony) || { apt-get update -q && (cd "$fetched" && apt-get download -q chrony); }
  mkdir -p "$chrony" && dpkg-deb -x "$fetched"/chrony_*.deb "$chrony"
  rm -rf "$fetched"
fi

# The date-time texts are tested under these locales.
wanted=(en_US.UTF-8 de_DE.UTF-8 en_GB.UTF-8 en_AU.UTF-8 en_IE.UTF-8 en_CA.UTF-8 en_IN.UTF-8)
have=$(locale -a 2>/dev/null | tr 'A-Z' 'a-z' | sed 's/utf8/utf-8/')
need_gen=0
for l in "${wanted[@]}"; do
  lc=$(echo "$l" | tr 'A-Z' 'a-z')
  echo "$have" | grep -qx "$lc" || need_gen=1
done
if [ $need_gen -eq 1 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  for l in "${wanted[@]}"; do
    grep -q "^$l UTF-8" /etc/locale.gen 2>/dev/null || echo "$l UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
  done
  $SUDO locale-gen >/dev/null
fi
