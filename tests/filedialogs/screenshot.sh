#!/bin/sh
# Shows the open dialog on a virtual X screen with a JPEG previewed and saves a picture of it.
#   screenshot.sh <test_filedialogs binary> <out.png>
set -e
test_bin=$1
out=$2
sh "$(dirname "$0")/../support/needscreen.sh" xvfb-run || exit $?
# The X client libraries keep a block of their own to the end of the run: not ours to report.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export ASAN_OPTIONS
FILEDIALOGS_SHOT="$out" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  "$test_bin" --gtest_filter='XvfbScreen.*'
test -s "$out"
exit 0
