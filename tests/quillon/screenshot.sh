#!/bin/sh
# Shows the editor on a virtual X screen with a document open and saves a screenshot, and
# shots of four documents cascaded, tiled and minimised beside it (<out>-<step>.png).
#   screenshot.sh <test_quillon binary> <out.png> [quillon binary]
# The test binary draws the editor itself (its XvfbScreen test); with the program given, the
# program is also started alone and the whole screen is grabbed into <out>-program.png.
set -e
test_bin=$1
out=$2
prog=$3
sh "$(dirname "$0")/../support/needscreen.sh" xvfb-run || exit $?
# The X client libraries keep a block of their own to the end of the run: not ours to report.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export ASAN_OPTIONS
QUILLON_SHOT="$out" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  "$test_bin" --gtest_filter='XvfbScreen.*'
test -s "$out"
if [ -n "$prog" ] && [ -x "$prog" ] && command -v import >/dev/null 2>&1; then
  shot="${out%.png}-program.png"
  # Grabbed once the program's window is on the screen (looked for every 50 ms, for a minute at most).
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" sh -c \
    "\"$prog\" & pid=\$!; i=0; if command -v xwininfo >/dev/null 2>&1; then
       until xwininfo -name 'Aquire and Edit utility for Velmora' 2>/dev/null | grep -q IsViewable; do
         i=\$((i + 1)); [ \$i -gt 1200 ] && break; kill -0 \$pid 2>/dev/null || break; sleep 0.05; done
     else sleep 3; fi
     import -window root \"$shot\"; kill \$pid; wait \$pid 2>/dev/null || true"
  test -s "$shot"
fi
exit 0
