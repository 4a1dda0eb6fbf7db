#!/bin/sh
# Runs a test program's screen tests on a virtual X screen of the given size, with a window
# manager (openbox) when installed, as a desktop has one.
#   screen.sh <test binary> <out.png> <env var> <WxH> [gtest filter]
# The env var is set to <out.png> and VL_SCREEN to <WxH>; the selected tests save their
# pictures beside <out.png>. Exits 77 when xvfb-run is missing.
set -e
test_bin=$1
out=$2
var=$3
size=$4
filter=${5:-XvfbScreen.*}
command -v xvfb-run >/dev/null 2>&1 || { echo "xvfb-run missing"; exit 77; }
# The X client libraries keep a block of their own to the end of the run: not ours to report.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export ASAN_OPTIONS QT_QPA_PLATFORM=xcb VL_SCREEN="$size"
export "$var=$out"
if command -v openbox >/dev/null 2>&1; then
  xvfb-run -a -s "-screen 0 ${size}x24" sh "$(dirname "$0")/withwm.sh" "$test_bin" --gtest_filter="$filter"
else
  xvfb-run -a -s "-screen 0 ${size}x24" "$test_bin" --gtest_filter="$filter"
fi
