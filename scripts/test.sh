#!/usr/bin/env bash
# Sets up, builds and runs every test: the whole CTest suite in the normal build, then the
# same suite under AddressSanitizer and UndefinedBehaviorSanitizer with a bounded run of
# every fuzz target (scripts/test-hardening.sh). TALLIX_SKIP_HARDENING=1 skips the second
# part for a quick run on a developer's machine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
scripts/build.sh build
(cd build && ctest --output-on-failure -j2 --timeout 900)
if [ "${TALLIX_SKIP_HARDENING:-0}" != 1 ]; then
  scripts/test-hardening.sh build-asan
fi
