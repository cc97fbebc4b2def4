#!/usr/bin/env bash
# The README's run command, as a new user types it, on a virtual display with a
# window manager: the main window appears, is closed through its E(x)it
# command, the program ends with status 0 and has written its settings. Every
# wait is bounded, and a failure says what was on the display.
set -u
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
export XDG_CONFIG_HOME=$work/cfg TMPDIR=$work/tmp
# A new user's terminal names no Qt platform (the test command exports
# "offscreen" for the widget tests): the window must go to the X display.
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
mkdir -p "$work/cfg" "$work/tmp"
cd "$root" || exit 1
xvfb-run -a -s '-screen 0 1280x1024x24' bash -c '
    work=$0
    windows() { timeout 5 xdotool search --name . getwindowname %@ 2>/dev/null; }
    openbox >/dev/null 2>&1 &
    bash scripts/run.sh >"$work/out" 2>&1 &
    app=$!
    # The first start may build the program: wait while run.sh lives, within
    # the test'"'"'s own time limit.
    # Once run.sh has become the program, the window has a minute to appear.
    deadline=$((SECONDS + 780))
    win=""
    while [ -z "$win" ] && kill -0 $app 2>/dev/null && [ $SECONDS -lt $deadline ]; do
        case "$(readlink /proc/$app/exe 2>/dev/null)" in
        */dravonel2) [ $deadline -gt $((SECONDS + 60)) ] && deadline=$((SECONDS + 60)) ;;
        esac
        win=$(timeout 5 xdotool search --name "^Dravonel2 for Win32" 2>/dev/null | head -n 1)
        sleep 0.3
    done
    if [ -z "$win" ]; then
        { echo "no main window; on the display:"; windows; } >"$work/why"
        kill -KILL $app 2>/dev/null
        exit 1
    fi
    sleep 1
    timeout 10 xdotool windowactivate --sync "$win" >/dev/null 2>&1
    timeout 10 xdotool key --clearmodifiers alt+x
    for _ in $(seq 1 50); do kill -0 $app 2>/dev/null || break; sleep 0.2; done
    if kill -0 $app 2>/dev/null; then
        { echo "still running after E(x)it; on the display:"; windows; } >"$work/why"
        kill -KILL $app
    fi
    wait $app
' "$work"
status=$?
[ -f "$work/why" ] && { cat "$work/out"; fail "$(cat "$work/why")"; }
[ "$status" -eq 0 ] || { cat "$work/out"; fail "exit status $status"; }
grep -q '^Version=1.02' "$work/cfg/Korvath's Soft.ini" || fail "no settings written at exit"
echo "run command: 1 passed, 0 failed"
