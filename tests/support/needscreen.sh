#!/bin/sh
# Checks that the tools a virtual screen needs are installed: a missing one fails (scripts/setup
# installs them all); with VLTEST_ALLOW_NO_SCREEN=1 it exits 77 instead, which the tests take as
# a skip.   needscreen.sh <tool>...
for tool in "$@"; do
  command -v "$tool" >/dev/null 2>&1 && continue
  [ "$VLTEST_ALLOW_NO_SCREEN" = 1 ] && { echo "$tool missing: skipped"; exit 77; }
  echo "$tool missing: scripts/setup installs it (VLTEST_ALLOW_NO_SCREEN=1 skips)" >&2
  exit 1
done
exit 0
