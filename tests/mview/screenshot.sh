#!/bin/sh
# Shows the multi-image view on a virtual X screen and saves screenshots: <out.png>, and
# <out>-end.png and <out>-playing.png beside it.
#   screenshot.sh <test_mview binary> <out.png>
set -e
sh "$(dirname "$0")/../support/needscreen.sh" xvfb-run || exit $?
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export ASAN_OPTIONS
MVIEW_SHOT="$2" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 640x400x24" "$1" --gtest_filter='XvfbScreen.*'
test -s "$2"
