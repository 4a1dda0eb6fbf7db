#!/bin/sh
# Shows the viewer on a virtual X screen, started on its sample disc folder, and saves
# pictures of the main form, an album and a slide (<out>-main.png, <out>-album.png, ...).
#   screenshot.sh <test_corvelo binary> <out.png>
# The test binary drives the viewer itself (its XvfbScreen test).
set -e
test_bin=$1
out=$2
sh "$(dirname "$0")/../support/needscreen.sh" xvfb-run openbox || exit $?
# The X client libraries keep a block of their own to the end of the run: not ours to report.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export ASAN_OPTIONS
export CORVELO_SHOT="$out" QT_QPA_PLATFORM=xcb
# The forms open maximised, as on a desktop, under a window manager.
xvfb-run -a -s "-screen 0 1024x768x24" sh "$(dirname "$0")/../support/withwm.sh" "$test_bin" --gtest_filter='XvfbScreen.*'
test -s "${out%.png}-main.png"
exit 0
