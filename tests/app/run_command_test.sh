#!/usr/bin/env bash
# The README's run command, as a new user types it, on a virtual display: the
# main window appears, is closed through its E(x)it command, the program ends
# with status 0 and has written its settings.
set -u
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
export XDG_CONFIG_HOME=$work/cfg
# A new user's terminal names no Qt platform (the test command exports
# "offscreen" for the widget tests): the window must go to the X display.
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
mkdir -p "$work/cfg"
cd "$root" || exit 1
xvfb-run -a -s '-screen 0 1280x1024x24' bash -c '
    bash scripts/run.sh >"$0/out" 2>&1 &
    app=$!
    # The first start builds the program: wait while run.sh lives.
    win=""
    while [ -z "$win" ] && kill -0 $app 2>/dev/null; do
        win=$(xdotool search --name "^Dravonel2 for Win32" 2>/dev/null | head -n 1)
        sleep 0.3
    done
    [ -n "$win" ] || { echo "no main window" >"$0/why"; kill $app; exit 1; }
    sleep 1
    xdotool windowfocus --sync "$win" key --clearmodifiers alt+x
    for _ in $(seq 1 50); do kill -0 $app 2>/dev/null || break; sleep 0.2; done
    kill -0 $app 2>/dev/null && { echo "still running after E(x)it" >"$0/why"; kill $app; }
    wait $app
' "$work"
status=$?
[ -f "$work/why" ] && fail "$(cat "$work/why")"
[ "$status" -eq 0 ] || { cat "$work/out"; fail "exit status $status"; }
grep -q '^Version=1.02' "$work/cfg/Korvath's Soft.ini" || fail "no settings written at exit"
echo "run command: 1 passed, 0 failed"
