#!/usr/bin/env bash
# The headless batch command line, end to end with the real modules and no
# display: each mode, bad arguments, exit statuses, and no settings written.
set -u
program=$1
modules=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/cfg DRAVONEL2_SYSTEM_DIR=$modules TMPDIR=$work/tmp
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$work/cfg" "$work/tmp" "$work/in/x" "$work/in/y" "$work/out"
printf 'report one\n' >"$work/in/x/Report.txt"
printf 'report two\n' >"$work/in/y/report.doc"
printf 'memo\n' >"$work/in/x/memo.txt"
printf 'no extension\n' >"$work/in/x/README"
printf 'secret\n' >"$work/in/x/.hidden"
passed=0 failed=0
check() { # description, then a command that must succeed
    local what=$1; shift
    if "$@" >/dev/null 2>&1; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; fi
}
status_of() { "$@" >"$work/stdout" 2>"$work/stderr"; echo $?; }
members() { 7z l -slt "$1" | sed -n 's/^Path = //p' | tail -n +2 | sort | tr '\n' ' '; }

s=$(status_of "$program" --batch dravo --out "$work/out" "$work/in/x/Report.txt" "$work/in/y/report.doc" "$work/in/x/memo.txt")
check "dravo exits 0" test "$s" -eq 0
check "dravo groups by name" test "$(members "$work/out/REPORT.LZH")" = "Report.txt report.doc "
check "archives pass lhasa" lhasa t "$work/out/REPORT.LZH"
check "the log goes to stdout" grep -q '^全て終了しました$' "$work/stdout"

s=$(status_of "$program" --batch normal --name All --format lzh --method stored --out "$work/out" "$work/in/x/Report.txt" "$work/in/x/memo.txt")
check "normal exits 0" test "$s" -eq 0
check "normal makes one archive" test "$(members "$work/out/ALL.LZH")" = "Report.txt memo.txt "

s=$(status_of "$program" --batch exp --out "$work/out" "$work/in/x/Report.txt" "$work/in/x/memo.txt" "$work/in/x/README")
check "exp leaves a file without extension: exit 1" test "$s" -eq 1
check "exp names the file left" grep -q 'not archived: .*README' "$work/stderr"
check "exp makes TXT.LZH" test "$(members "$work/out/TXT.LZH")" = "Report.txt memo.txt "

s=$(status_of "$program" --batch filen --format zip --no-upper --out "$work/out" "$work/in/x/Report.txt" "$work/in/x/.hidden")
check "filen zip exits 0" test "$s" -eq 0
check "filen zip passes unzip" unzip -tqq "$work/out/Report.txt.ZIP"
check "hidden files need --hidden" test ! -e "$work/out/.hidden.ZIP"

s=$(status_of "$program" --batch dravo --method double --pattern lzh.zip --out "$work/out" "$work/in/x/memo.txt")
check "double exits 0" test "$s" -eq 0
check "double makes MEMO.LZH.ZIP" test "$(members "$work/out/MEMO.LZH.ZIP")" = "MEMO.LZH "

printf 'Dravonel2 DVF FILE\r\nINDIR=%s\r\nOUTDIR=%s\r\nFILENAME=job\r\n%s\r\n' "$work/in" "$work/out" "$work/in/y/report.doc" >"$work/job.DVF"
s=$(status_of "$program" --batch normal "$work/job.DVF")
check "a job file supplies folder and name" test "$s" -eq 0 -a -f "$work/out/JOB.LZH"

check "unknown mode: exit 2" test "$(status_of "$program" --batch bogus "$work/in/x/memo.txt")" -eq 2
check "unknown option: exit 2" test "$(status_of "$program" --batch filen --frobnicate "$work/in/x/memo.txt")" -eq 2
check "one-line error" test "$(wc -l <"$work/stderr")" -eq 1
check "missing output folder: exit 2" test "$(status_of "$program" --batch filen --out "$work/nowhere" "$work/in/x/memo.txt")" -eq 2
check "normal without a name: exit 2" test "$(status_of "$program" --batch normal --out "$work/out" "$work/in/x/memo.txt")" -eq 2
check "missing modules: exit 2" test "$(DRAVONEL2_SYSTEM_DIR=$work status_of "$program" --batch filen --out "$work/out" "$work/in/x/memo.txt")" -eq 2
check "no files: exit 1" test "$(status_of "$program" --batch filen --out "$work/out" "$work/in/none")" -eq 1
check "--help exits 0" "$program" --help
check "--version names the release" sh -c "'$program' --version | grep -q 1.02"
check "no settings file written" test -z "$(ls -A "$work/cfg")"
echo "batch: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
