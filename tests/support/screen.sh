#!/bin/sh
# Runs a test program's screen tests on a virtual X screen of the given size, with a window
# manager (openbox), as a desktop has one.
#   screen.sh <test binary> <out.png> <env var> <WxH> [gtest filter]
# The env var is set to <out.png> and VL_SCREEN to <WxH>; the selected tests save their
# pictures beside <out.png>. A screen that can't start (xvfb-run or openbox missing) fails;
# with VLTEST_ALLOW_NO_SCREEN=1 the script exits 77 instead, which the tests take as a skip.
set -e
test_bin=$1
out=$2
var=$3
size=$4
filter=${5:-XvfbScreen.*}
sh "$(dirname "$0")/needscreen.sh" xvfb-run openbox || exit $?
# The X client libraries keep a block of their own to the end of the run: not ours to report.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export ASAN_OPTIONS QT_QPA_PLATFORM=xcb VL_SCREEN="$size"
export "$var=$out"
xvfb-run -a -s "-screen 0 ${size}x24" sh "$(dirname "$0")/withwm.sh" "$test_bin" --gtest_filter="$filter"
