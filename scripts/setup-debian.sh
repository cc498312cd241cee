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
             haproxy faketime chrony adjtimex socat
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
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
  # The clock tests start chronyd of their own on the kernel's clock and expect it as these
  # machines start, unsynchronised: a chrony service that installing it started or enabled
  # is stopped and disabled (a machine that had chrony before keeps its own).
  if printf '%s\n' "${missing[@]}" | grep -qx chrony; then
    if [ -d /run/systemd/system ]; then
      $SUDO systemctl disable --now chrony.service || true
    else
      $SUDO /etc/init.d/chrony stop >/dev/null 2>&1 || true
      $SUDO update-rc.d chrony disable >/dev/null 2>&1 || true
    fi
  fi
fi

[ $tests -eq 1 ] || exit 0

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
