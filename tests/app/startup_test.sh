#!/usr/bin/env bash
# Starts the real program offscreen and ends it the way a desktop session does
# (SIGTERM): without archiver modules it refuses to run and writes nothing;
# with modules it starts, and at exit writes the option set and removes the
# settings of the earlier release.
set -u
program=$1
modules=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/cfg QT_QPA_PLATFORM=offscreen
mkdir -p "$work/cfg" "$work/none"
printf '[Dravonel2]\r\nVersion=1.00\r\nUCase=False\r\n' >"$work/cfg/Dravonel2.ini"
fail() { echo "FAIL: $*"; exit 1; }

run_and_stop() {
    DRAVONEL2_SYSTEM_DIR=$1 "$program" >/dev/null 2>&1 &
    local pid=$!
    sleep 1.5
    kill -TERM "$pid" 2>/dev/null
    wait "$pid"
}

run_and_stop "$work/none"
status=$?
[ "$status" -eq 1 ] || fail "without modules the exit status is $status, not 1"
[ -e "$work/cfg/Korvath's Soft.ini" ] && fail "a refused start wrote settings"
[ -e "$work/cfg/Dravonel2.ini" ] || fail "a refused start removed the earlier settings"

run_and_stop "$modules"
status=$?
[ "$status" -eq 0 ] || fail "with modules the exit status is $status"
ini="$work/cfg/Korvath's Soft.ini"
[ -f "$ini" ] || fail "no settings file written at exit"
grep -q '^Version=1.02' "$ini" || fail "Version is not 1.02"
grep -q '^UCase=False' "$ini" || fail "the earlier release's UCase was not carried over"
grep -q '^Lzh_Opt=u -+ -a1' "$ini" || fail "Lzh_Opt default missing"
[ -e "$work/cfg/Dravonel2.ini" ] && fail "the earlier release's settings were not removed"

# The automatic run of a file named "-h" after "--": the file is archived, no
# help is printed, and "--" is no file that was not archived.
mkdir -p "$work/files" "$work/arc"
printf 'data' >"$work/files/-h"
printf '[Dravonel2]\nAuto=True\nAutoExe=3\nAutoLog=False\nDir_Out=%s\n' "$work/arc" >"$ini"
(cd "$work/files" && DRAVONEL2_SYSTEM_DIR=$modules "$program" -- -h >"$work/auto" 2>&1)
status=$?
grep -q 'Usage' "$work/auto" && fail "the file -h after -- printed the help"
[ "$status" -eq 0 ] || { cat "$work/auto"; fail "the automatic run of -- -h ended with $status"; }
[ -f "$work/arc/-H.LZH" ] || fail "the file -h after -- was not archived"
echo "startup: 3 passed, 0 failed"
