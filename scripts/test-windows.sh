#!/usr/bin/env bash
# Builds the Windows zip and setup program (scripts/build-windows.sh) with the unit tests that
# need no desktop, runs those under Wine in a fresh prefix, then runs the program from the zip
# and the setup program under Wine on a private X server with a real system tray
# (tests/windows/wine-e2e.sh): in a zone without daylight time and in one where it is in force.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh wine
TALLIX_WINDOWS_TESTS=ON scripts/build-windows.sh
cmake --build build-win -j"$(nproc)"

# One persistent wineserver for the whole run, detached from this script's output.
qt=$(cd "${TALLIX_QT_MINGW_DIR:-../qt-mingw}/prefix" && pwd)
prefix=$(mktemp -d "${TMPDIR:-/tmp}/tallix-wine-tests.XXXXXX")
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEPATH="Z:${qt//\//\\}\\bin;Z:${qt//\//\\}\\mingw-runtime"
wineserver -p </dev/null >/dev/null 2>&1
wineboot -i >/dev/null 2>&1
rc=0
ctest --test-dir build-win --output-on-failure || rc=$?
wineserver -k >/dev/null 2>&1 || true
rm -rf "$prefix"
[ $rc -eq 0 ] || exit $rc
unset WINEPREFIX WINEPATH
# The daemon's console and the Windows service, in a prefix of their own; no display needed.
tests/windows/wine-service.sh build-win/tallix-server-setup-x64.exe build-win/service-control.exe

# The zone where daylight time is in force today: New York's summer, else Sydney's.
dst_zone=Australia/Sydney
[ "$(TZ=America/New_York date +%Z)" = EDT ] && dst_zone=America/New_York
for zone in Asia/Kolkata "$dst_zone"; do
  echo "--- Wine end-to-end, TZ=$zone"
  # A display or tray that failed to come up (displays are shared with other builds on the
  # machine) is tried once more; a failed check is not.
  for attempt in 1 2; do
    rc=0
    out=$(TZ=$zone TALLIX_XVFB_TIMEOUT=300 tests/tools/with-xvfb-tray.sh tests/windows/wine-e2e.sh build-win/tallix-server build-win/tallix-server-setup-x64.exe 2>&1) || rc=$?
    printf '%s\n' "$out"
    grep -q '^\(xvfb-run: error: Xvfb failed to start\|with-xvfb-tray: no system tray appeared\)' <<<"$out" || break
  done
  [ $rc -eq 0 ] || exit $rc
done
