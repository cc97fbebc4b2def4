#!/usr/bin/env bash
# The window on a Wayland session: under a headless Weston, with no X display
# and no platform named, the program picks Wayland, starts, and ends with
# status 0 and its settings written when the session ends it (SIGTERM).
set -u
program=$1
modules=$2
work=$(mktemp -d)
chmod 700 "$work"
weston_pid=""
trap '[ -n "$weston_pid" ] && kill "$weston_pid"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
export XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work/cfg DRAVONEL2_SYSTEM_DIR=$modules
unset DISPLAY QT_QPA_PLATFORM WAYLAND_DISPLAY
mkdir -p "$work/cfg"
weston --backend=headless-backend.so --socket=wl-test --idle-time=0 >"$work/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 1 100); do [ -S "$work/wl-test" ] && break; sleep 0.1; done
[ -S "$work/wl-test" ] || { cat "$work/weston.log"; fail "Weston did not start"; }
WAYLAND_DISPLAY=wl-test timeout --preserve-status -s TERM 3 "$program" >"$work/out" 2>&1
status=$?
[ "$status" -eq 0 ] || { cat "$work/out"; fail "exit status $status on Wayland"; }
grep -q '^Version=1.02' "$work/cfg/Korvath's Soft.ini" || fail "no settings written at exit"
echo "wayland: 1 passed, 0 failed"
