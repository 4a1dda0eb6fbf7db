#!/bin/sh
# Shows the save-parameters dialog on a virtual X screen and saves a picture of its JPEG page
# and one of its TIFF page (<out>-jpeg.png, <out>-tiff.png).
#   screenshot.sh <test_iopreviews binary> <out.png>
set -e
test_bin=$1
out=$2
sh "$(dirname "$0")/../support/needscreen.sh" xvfb-run || exit $?
# The X client libraries keep a block of their own to the end of the run: not ours to report.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export ASAN_OPTIONS
IOPREVIEWS_SHOT="$out" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  "$test_bin" --gtest_filter='XvfbScreen.*'
test -s "${out%.png}-jpeg.png"
test -s "${out%.png}-tiff.png"
exit 0
