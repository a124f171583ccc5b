#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest (the toolchains' CMAKE_CROSSCOMPILING_EMULATOR):
#   wine-run.sh WINE PROGRAM [ARGUMENT...]
# Now and then Wine fails to start a process at all while others start beside it: a failure
# status within a hundredth of a second and not one byte written. Such a start, and only such,
# is made once more, with a line on standard error that says so. A program that wrote anything
# has started: its status stands, whatever it is.
set -uo pipefail
wine=$1
shift
output=$(mktemp)
trap 'rm -f "$output"' EXIT
for attempt in 1 2; do
  "$wine" "$@" 2>&1 | tee "$output"
  status=${PIPESTATUS[0]}
  if [ "$status" -eq 0 ] || [ -s "$output" ] || [ "$attempt" -eq 2 ]; then exit "$status"; fi
  echo "wine-run: Wine did not start $(basename "$1") (status $status, no output); starting it again" >&2
done
