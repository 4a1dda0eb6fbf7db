#!/bin/sh
# Shows the viewer on a virtual X screen, started on its sample disc folder, and saves
# pictures of the main form, an album and a slide (<out>-main.png, <out>-album.png, ...).
#   screenshot.sh <test_corvelo binary> <out.png>
# The test binary drives the viewer itself (its XvfbScreen test).
set -e
test_bin=$1
out=$2
command -v xvfb-run >/dev/null 2>&1 || { echo "xvfb-run missing"; exit 77; }
# The X client libraries keep a block of their own to the end of the run: not ours to report.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export ASAN_OPTIONS
export CORVELO_SHOT="$out" QT_QPA_PLATFORM=xcb
# The forms open maximised: with a window manager on the screen (openbox, when installed) they
# are, as on a desktop; without one the test sizes them to the screen itself.
if command -v openbox >/dev/null 2>&1; then
  xvfb-run -a -s "-screen 0 1024x768x24" sh "$(dirname "$0")/../support/withwm.sh" "$test_bin" --gtest_filter='XvfbScreen.*'
else
  xvfb-run -a -s "-screen 0 1024x768x24" "$test_bin" --gtest_filter='XvfbScreen.*'
fi
test -s "${out%.png}-main.png"
exit 0
