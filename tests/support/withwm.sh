#!/bin/sh
# Inside a virtual X screen: starts the window manager (openbox), waits until it manages the
# screen, runs the command given and ends the window manager after it.
#   withwm.sh <command> [args...]
openbox >/dev/null 2>&1 &
wm=$!
if command -v xprop >/dev/null 2>&1; then
  # Ready once it announces itself on the root window; a dead one is waited for no longer.
  i=0
  until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
    kill -0 $wm 2>/dev/null || break
    i=$((i + 1))
    [ $i -gt 600 ] && break
    sleep 0.05
  done
else
  sleep 1
fi
"$@"
rc=$?
kill $wm
exit $rc
