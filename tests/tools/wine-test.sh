#!/usr/bin/env bash
# Runs a Windows test program under Wine (the prefix and WINEPATH of scripts/test-windows.sh).
# Its console output does not reach the Unix side there, so QtTest writes it to a file.
set -uo pipefail
out=$(mktemp --suffix=.txt)
trap 'rm -f "$out"' EXIT
wine "$@" -o "Z:${out//\//\\},txt"
rc=$?
cat "$out"
exit $rc
