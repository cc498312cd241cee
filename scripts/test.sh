#!/usr/bin/env bash
# Sets up, builds and runs every test of the normal suite through CTest: unit tests, the
# server on loopback, the window offscreen, the real program under Xvfb with real trays,
# load and broken environments. The sanitizer build and the fuzzing are their own command,
# scripts/test-hardening.sh, which .ci/run runs after this one.
#
# Safe on a contributor's own machine: it installs nothing that removes a package, stops
# no service, and leaves the kernel's clock state alone unless TALLIX_TEST_KERNEL_CLOCK=1
# (a disposable machine, as CI's) lets the clock tests change it and put it back.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh --tests
# The benchmarks are built too, so that the figures their page quotes come from code that
# builds; CI makes warnings in src/ errors.
scripts/build.sh build -DTALLIX_BENCH=ON -DTALLIX_WERROR=${CI:+ON}
status=0
(cd build && ctest --output-on-failure -j2 --timeout 600) || status=$?
# The last lines: what did not run, and why (TALLIX_TEST_NO_SKIP=1 makes a skip fail).
scripts/skipped-tests.sh build || status=1
exit $status
