#!/usr/bin/env bash
# Sets up, builds and runs every test of the normal suite through CTest: unit tests, the
# server on loopback, the window offscreen, the real program under Xvfb with real trays,
# load and broken environments. The sanitizer build and the fuzzing are their own command,
# scripts/test-hardening.sh, which .ci/run runs after this one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh --tests
scripts/build.sh build
cd build
ctest --output-on-failure -j2 --timeout 600
