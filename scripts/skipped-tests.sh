#!/usr/bin/env bash
# Lists what the last CTest run in BUILD skipped, and why, from its log. With
# TALLIX_TEST_NO_SKIP=1 (CI, where every check must run) any skip fails.
#   scripts/skipped-tests.sh BUILD
set -euo pipefail
skips=$(awk '/^[0-9]+\/[0-9]+ Testing: / {name = $3}
             /^SKIP   : / {sub(/^SKIP   : /, ""); print "  " name ": " $0}' "$1/Testing/Temporary/LastTest.log")
if [ -z "$skips" ]; then
  echo "skipped: nothing"
  exit 0
fi
echo "skipped, and why:"
echo "$skips"
if [ "${TALLIX_TEST_NO_SKIP:-}" = 1 ]; then
  echo "FAIL: TALLIX_TEST_NO_SKIP=1 says every check runs here"
  exit 1
fi
