#!/usr/bin/env bash
# The headless batch command line, end to end with the real modules and no
# display: each mode, bad arguments, exit statuses, and no settings written.
set -u
program=$1
modules=$2
. "$(dirname "$0")/../../support/headless_env.sh"
export DRAVONEL2_SYSTEM_DIR=$modules
mkdir -p "$work/in/x" "$work/in/y" "$work/out"
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
check "exp names the file left, and why" grep -q 'not archived: .*README (拡張子がありません)$' "$work/stderr"
check "exp makes TXT.LZH" test "$(members "$work/out/TXT.LZH")" = "Report.txt memo.txt "

s=$(status_of "$program" --batch filen --format zip --no-upper --out "$work/out" "$work/in/x/Report.txt" "$work/in/x/.hidden")
check "a named hidden file not archived: exit 1" test "$s" -eq 1
check "the hidden file is named" grep -q "not archived: '.*/.hidden': a hidden file" "$work/stderr"
check "filen zip passes unzip" unzip -tqq "$work/out/Report.txt.ZIP"
check "hidden files need --hidden" test ! -e "$work/out/.hidden.ZIP"

# ZIP names: CP932 with the Unicode Path field by default, UTF-8 with --zip-names utf8.
printf 'japanese\n' >"$work/in/x/日本.txt"
flags() { python3 -c 'import sys, zipfile; i = zipfile.ZipFile(sys.argv[1]).infolist()[0]; print(i.flag_bits & 0x800, i.filename.encode("utf-8" if i.flag_bits & 0x800 else "cp437").hex())' "$1"; }
s=$(status_of "$program" --batch filen --format zip --out "$work/out" "$work/in/x/日本.txt")
check "zip names in CP932 by default" test "$s" -eq 0 -a "$(flags "$work/out/日本.TXT.ZIP")" = "0 93fa967b2e747874"
rm "$work/out/日本.TXT.ZIP" # an entry that holds the file's bytes would stay as it is
s=$(status_of "$program" --batch filen --format zip --zip-names utf8 --out "$work/out" "$work/in/x/日本.txt")
check "--zip-names utf8: UTF-8 with the flag" test "$s" -eq 0 -a "$(flags "$work/out/日本.TXT.ZIP")" = "2048 $(printf 日本.txt | od -An -tx1 | tr -d ' \n')"
s=$(status_of "$program" --batch filen --format zip --zip-names ascii --out "$work/out" "$work/in/x/日本.txt")
check "--zip-names takes cp932 or utf8 only: exit 2" test "$s" -eq 2

# Names Linux allows: each archive holds exactly its own file, or the file is
# refused by name with exit 1; nothing lands outside the output folder.
h=$work/hostile
tab=$(printf 'tab\tname.txt')
mkdir -p "$h/o\" x" "$h/in"
for n in 'a" b.txt' a '-lead.txt' '@at.txt' 'back\slash.txt' 'q"' ' sp .txt' "$tab"; do printf '%s\n' "$n" >"$h/in/$n"; done
printf 'bad\n' >"$h/in/$(printf 'bad\377.txt')"
s=$(cd "$h/in" && status_of "$program" --batch filen --no-upper --out "$h/o\" x" -- *; cat "$work/stderr" >"$work/herr")
check "hostile names: only the non-UTF-8 one refused, exit 1" test "$s" -eq 1 -a "$(grep -c 'not archived' "$work/herr")" -eq 1
check "the refused name is said" grep -q 'not valid UTF-8' "$work/herr"
check "nothing outside the output folder" test "$(ls -A "$h")" = "$(printf 'in\no" x')"
for n in 'a" b.txt' a '-lead.txt' '@at.txt' 'back\slash.txt' 'q"' ' sp .txt'; do
    check "archive of '$n' holds exactly it" test "$(lhasa p "$h/o\" x/$n.LZH" | sed -n '2p;4p')" = "$n
$n"
done
printf 'Dravonel2 DVF FILE\r\nINDIR=%s\r\nOUTDIR=%s\r\nFILENAME=x" y\r\n%s\r\n' "$h/in" "$h/o\" x" "$h/in/a" >"$h/q.DVF"
mkdir "$h/x"
check "a name with a tab comes back out" sh -c "'$program' --extract --out '$h/x' '$h/o\" x/$tab.LZH' && test \"\$(cat '$h/x/$tab')\" = '$tab'"
rm -r "$h/x"
check "a job's archive name with a quote" sh -c "'$program' --batch normal '$h/q.DVF' && test -f '$h/o\" x/X\" Y.LZH'"
s=$(status_of "$program" --batch normal --name "$(printf 'n\377')" --out "$h/o\" x" "$h/in/a")
check "an archive name that is not UTF-8: refused, exit 1, no '?' name made" test "$s" -eq 1 -a ! -e "$h/o\" x/N?.LZH"
# A name that is not UTF-8, named or listed by a job, is never taken for the
# file whose name has U+FFFD in its place, and is shown with its bytes.
printf 'other\n' >"$h/in/bad$(printf '\357\277\275').txt"
printf 'Dravonel2 DVF FILE\nINDIR=%s\nOUTDIR=%s\nFILENAME=b\n%s\n' "$h/in" "$h/o\" x" "$h/in/$(printf 'bad\377.txt')" >"$h/b.DVF"
s=$(status_of "$program" --batch filen --out "$h/o\" x" "$h/in/$(printf 'bad\377.txt')" "$h/b.DVF")
check "not UTF-8: refused as itself, its bytes shown, no other file archived" test "$s" -eq 1 -a "$(grep -cF 'bad\377.txt' "$work/stderr")" -eq 2 -a ! -e "$h/o\" x/BAD$(printf '\357\277\275').TXT.LZH"
s=$(status_of "$program" --batch filen --uris --out "$h/o\" x" "file://$h/in/bad%FF.txt")
check "likewise as a file URI (--uris)" test "$s" -eq 1 -a ! -e "$h/o\" x/BAD$(printf '\357\277\275').TXT.LZH"
# A name that begins with U+FEFF (a byte-order mark) is its own, named
# relative or listed in an archive: never taken for the name without it.
bom=$(printf '\357\273\277b.txt')
mkdir -p "$work/bom/o" "$work/bom/x" && printf 'with\n' >"$work/bom/$bom" && printf 'without\n' >"$work/bom/b.txt"
s=$(cd "$work/bom" && status_of "$program" --batch filen --no-upper --out o -- "$bom" b.txt)
s=$s$(cd "$work/bom/o" && status_of "$program" --extract --out ../x -- "$bom.LZH")
check "a leading U+FEFF: archived, listed and extracted as itself" sh -c "test $s = 00 && test \"\$(lhasa p '$work/bom/o/$bom.LZH' | sed -n 4p)\" = with && test \"\$(cat '$work/bom/x/$bom')\" = with"
# An update of a double archive whose name begins like a switch.
s=$(cd "$h/in" && status_of "$program" --batch dravo --method double --out "$h/o\" x" -- -lead.txt)
printf 'more\n' >"$h/in/-lead.doc"
s=$s$(cd "$h/in" && status_of "$program" --batch dravo --method double --update --out "$h/o\" x" -- -lead.doc)
mkdir "$work/inner" && (cd "$work/inner" && lhasa xq "$h/o\" x/-LEAD.LZH.LZH" && lhasa l ./-*.*)>"$work/inner.txt" 2>&1
check "double update keeps the old member: exit 0 twice" test "$s" = 00
check "inner archive holds both" sh -c "grep -q -- '-lead.txt' '$work/inner.txt' && grep -q -- '-lead.doc' '$work/inner.txt'"
# A FIFO where an archive is to be updated is refused at once, never waited on.
mkdir "$work/fifo" && mkfifo "$work/fifo/memo.txt.LZH" "$work/fifo/memo.txt.ZIP"
s=$(status_of timeout -s KILL 20 "$program" --batch filen --no-upper --out "$work/fifo" "$work/in/x/memo.txt")
s=$s$(status_of timeout -s KILL 20 "$program" --batch filen --format zip --no-upper --out "$work/fifo" "$work/in/x/memo.txt")
check "a FIFO named like the archive: not archived, exit 1" test "$s" = 11

# Combinations the run would refuse are refused before anything runs.
check "zip outside filen: exit 2" test "$(status_of "$program" --batch dravo --format zip --out "$work/out" "$work/in/x/memo.txt")" -eq 2
check "zip inner archive: exit 2" test "$(status_of "$program" --batch dravo --method double --pattern zip.lzh --out "$work/out" "$work/in/x/memo.txt")" -eq 2
check "a missing input: exit 1, named, the rest made" sh -c "'$program' --batch filen --out '$work/out' '$work/in/x/memo.txt' '$work/gone' 2>&1 >/dev/null | grep -q \"not archived: '$work/gone'\" && test -f '$work/out/MEMO.TXT.LZH'"
check "a folder named: exit 1" test "$(status_of "$program" --batch filen --out "$work/out" "$work/in/x")" -eq 1
check "--out naming a file is named as no folder" sh -c "'$program' --batch filen --out '$work/in/x/memo.txt' '$work/in/x/memo.txt' 2>&1 | grep -q 'is not a folder'"
# A file whose archive is not made is named with the reason: a folder holds
# the archive's name, the LHA module stores no name with a control character
# (but the tab).
mkdir -p "$work/r/o/MEMO.TXT.LZH" && printf esc >"$work/r/$(printf 'e\033b.txt')"
s=$(status_of "$program" --batch filen --out "$work/r/o" "$work/in/x/memo.txt" "$work/r/$(printf 'e\033b.txt')")
check "archives not made: exit 1, each file named with why" test "$s" -eq 1 -a "$(grep -c '^dravonel2: not archived: .* (.*)$' "$work/stderr")" -eq 2
# An archive's name held by a link to an archive elsewhere, which is not
# written through, fails that archive alone: the next one is still made.
mkdir -p "$work/lnk/o" && "$program" --batch filen --out "$work/lnk" "$work/in/y/report.doc" >/dev/null
ln -s ../REPORT.DOC.LZH "$work/lnk/o/MEMO.LZH" && cp "$work/lnk/REPORT.DOC.LZH" "$work/lnk/kept"
s=$(status_of "$program" --batch dravo --out "$work/lnk/o" "$work/in/x/memo.txt" "$work/in/x/Report.txt")
check "a link at an archive's name fails that archive alone" sh -c "test $s -eq 1 && grep -q '^全て終了しました$' '$work/stdout' && test -f '$work/lnk/o/REPORT.LZH' && cmp -s '$work/lnk/kept' '$work/lnk/REPORT.DOC.LZH'"

# Two runs of 150 files each at once: every archive holds exactly its own file.
mkdir -p "$work/c/a" "$work/c/b" "$work/c/oa" "$work/c/ob"
for i in $(seq -w 1 150); do echo "a$i" >"$work/c/a/a$i.txt"; echo "b$i" >"$work/c/b/b$i.txt"; done
"$program" --batch dravo --out "$work/c/oa" "$work/c/a/"*.txt >/dev/null 2>&1 & pa=$!
"$program" --batch dravo --out "$work/c/ob" "$work/c/b/"*.txt >/dev/null 2>&1 & pb=$!
wait $pa; sa=$?; wait $pb; sb=$?
check "two runs at once both exit 0" test "$sa$sb" = 00
wrong=0
for x in a b; do for i in $(seq -w 1 150); do
    [ "$(lhasa p "$work/c/o$x/${x^^}$i.LZH" 2>/dev/null | sed -n '2p;4p' | tr '\n' ' ')" = "$x$i.txt $x$i " ] || wrong=$((wrong + 1))
done; done
check "no archive holds the other run's files" test "$wrong" -eq 0
check "both runs cleaned up their folders" test -z "$(ls -A "$work/tmp/dravonel2-$(id -u)")"

# Two runs on one archive, started with different temporary folders: the
# second waits while the first (stopped while it holds the archive) updates it,
# and the archive then holds both files.
mkdir -p "$work/lk/o" "$work/tmp2"
# The first run takes a while: random bytes as base64 text are compressed, not
# stored as noise is, at the speed of memory.
head -c 30000000 /dev/urandom | base64 >"$work/lk/big.bin"
printf 'small\n' >"$work/lk/small.txt"
lock=/tmp/dravonel2-$(id -u)/locks/$(printf '%s' "$(stat -c %d:%i "$work/lk/o"):SAME.LZH" |
    sha256sum | cut -c1-40).lock
"$program" --batch normal --name SAME --out "$work/lk/o" "$work/lk/big.bin" >/dev/null 2>&1 & pa=$!
held=0
for _ in $(seq 1 400); do
    [ -e "$lock" ] && ! flock -n "$lock" true && held=1 && break
    sleep 0.02
done
kill -STOP $pa
TMPDIR=$work/tmp2 "$program" --batch normal --name SAME --out "$work/lk/o" "$work/lk/small.txt" >/dev/null 2>&1 & pb=$!
sleep 1
check "the first run held the archive's lock" test "$held" = 1
check "the second run waits for the first" kill -0 $pb
kill -CONT $pa
wait $pa; sa=$?; wait $pb; sb=$?
check "both runs on one archive exit 0" test "$sa$sb" = 00
check "the archive holds both runs' files" test "$(members "$work/lk/o/SAME.LZH")" = "big.bin small.txt "

# Ctrl-C ends with 130; SIGKILL leaves no new file in the output folder, and
# the next run removes what the killed run left in the temporary folder.
head -c 112000000 /dev/urandom | base64 >"$work/big.bin" # compressed, for seconds
mkdir -p "$work/k"
"$program" --batch filen --out "$work/k" "$work/big.bin" >/dev/null 2>&1 & p=$!
sleep 1; kill -INT $p; wait $p; s=$?
check "Ctrl-C: exit 130, no archive" test "$s" -eq 130 -a -z "$(ls -A "$work/k")"
"$program" --batch filen --out "$work/k" "$work/big.bin" >/dev/null 2>&1 & p=$!
sleep 1; kill -KILL $p; wait $p 2>/dev/null
check "SIGKILL: nothing new in the output folder" test -z "$(ls -A "$work/k")"
"$program" --batch filen --out "$work/k" "$work/in/x/memo.txt" >/dev/null 2>&1
check "the next run removes the killed run's folder" test -z "$(ls -A "$work/tmp/dravonel2-$(id -u)")"

s=$(status_of "$program" --batch dravo --method double --pattern lzh.zip --out "$work/out" "$work/in/x/memo.txt")
check "double exits 0" test "$s" -eq 0
check "double makes MEMO.LZH.ZIP" test "$(members "$work/out/MEMO.LZH.ZIP")" = "MEMO.LZH "

printf 'Dravonel2 DVF FILE\r\nINDIR=%s\r\nOUTDIR=%s\r\nFILENAME=job\r\n%s\r\n' "$work/in" "$work/out" "$work/in/y/report.doc" >"$work/job.DVF"
s=$(status_of "$program" --batch normal "$work/job.DVF")
check "a job file supplies folder and name" test "$s" -eq 0 -a -f "$work/out/JOB.LZH"
# A job listing more files than the list holds: those past it are named so.
mkdir -p "$work/many" && (cd "$work/many" && for i in $(seq 1001); do echo "$i" >"f$i"; done)
{ printf 'Dravonel2 DVF FILE\r\nINDIR=%s\r\nOUTDIR=%s\r\nFILENAME=many\r\n' "$work/many" "$work/out"; printf "$work/many/f%s\r\n" $(seq 1001); } >"$work/many.DVF"
s=$(status_of "$program" --batch normal "$work/many.DVF")
check "a job past the 1000-file limit: exit 1, the last named as over it" test "$s" -eq 1 -a "$(grep -c "not archived: '$work/many/f1001': named in .*: the target list is full" "$work/stderr")" -eq 1

check "unknown mode: exit 2" test "$(status_of "$program" --batch bogus "$work/in/x/memo.txt")" -eq 2
check "unknown option: exit 2" test "$(status_of "$program" --batch filen --frobnicate "$work/in/x/memo.txt")" -eq 2
check "one-line error" test "$(wc -l <"$work/stderr")" -eq 1
check "missing output folder: exit 2" test "$(status_of "$program" --batch filen --out "$work/nowhere" "$work/in/x/memo.txt")" -eq 2
check "an empty --out is no folder: exit 2, nothing written" test "$(cd "$work/in/y" && status_of "$program" --batch filen --out= report.doc)" -eq 2 -a "$(ls -A "$work/in/y")" = report.doc
check "normal without a name: exit 2" test "$(status_of "$program" --batch normal --out "$work/out" "$work/in/x/memo.txt")" -eq 2
check "missing modules: exit 2" test "$(DRAVONEL2_SYSTEM_DIR=$work status_of "$program" --batch filen --out "$work/out" "$work/in/x/memo.txt")" -eq 2
check "no files: exit 1" test "$(status_of "$program" --batch filen --out "$work/out" "$work/in/none")" -eq 1
check "--help exits 0" "$program" --help
check "--version names the release" sh -c "'$program' --version | grep -q 1.02"
# The command line's own rules: --opt=value, help and version anywhere and
# without a display, --beside, and a window start without a display.
s=$(status_of "$program" --batch filen --out="$work/out" --no-upper "$work/in/x/memo.txt")
check "--out=DIR is taken" test "$s" -eq 0 -a -f "$work/out/memo.txt.LZH"
check "--jobs out of range: exit 2" test "$(status_of "$program" --batch filen --jobs=0 --out "$work/out" "$work/in/x/memo.txt")" -eq 2
check "--help after the mode: exit 0" sh -c "'$program' --batch filen --help | grep -q '^Usage'"
check "-V last, for the window too" sh -c "'$program' a.txt -V | grep -q 1.02"
mkdir -p "$work/b1" "$work/b2" && cp "$work/in/x/memo.txt" "$work/b1/" && cp "$work/in/y/report.doc" "$work/b2/"
s=$(status_of "$program" --batch filen --beside "$work/b1/memo.txt" "$work/b2/report.doc")
check "--beside: each archive in its file's folder" test "$s" -eq 0 -a -f "$work/b1/MEMO.TXT.LZH" -a -f "$work/b2/REPORT.DOC.LZH"
check "--beside with --out: exit 2" test "$(status_of "$program" --batch filen --beside --out "$work/out" "$work/b1/memo.txt")" -eq 2
for a in /U x.txt; do
    s=$(env -u QT_QPA_PLATFORM "$program" $a 2>"$work/stderr" </dev/null; echo $?)
    check "'$a' without a display: one line, exit 1" test "$s" -eq 1 -a "$(wc -l <"$work/stderr")" -eq 1
done
check "no settings file written" test -z "$(ls -A "$work/cfg")"
# The automatic run of the window program: names typed relative to the
# current folder, a shared temporary folder setting, no private folder.
mkdir -p "$work/auto/out" "$work/shared" && chmod 1777 "$work/shared"
printf 'Dravonel2 DVF FILE\r\nINDIR=%s\r\nOUTDIR=%s\r\nFILENAME=job\r\n%s\r\n' "$work/in/x" "$work/auto/out" "$work/in/x/memo.txt" >"$work/in/x/rel.DVF"
printf '[Dravonel2]\nAuto=True\nAutoExe=3\nTmpDir=%s\nDir_Out=%s\nDir_Out_Yuko=True\n' "$work/shared" "$work/auto/out" >"$work/auto/Korvath's Soft.ini"
auto() { (cd "$work/in/x" && XDG_CONFIG_HOME=$work/auto QT_QPA_PLATFORM=offscreen "$program" "$@" >"$work/stdout" 2>&1); }
auto memo.txt
check "automatic run takes a relative file: exit 0" test $? -eq 0 -a -f "$work/auto/out/MEMO.TXT.LZH"
check "a shared temporary folder is never written into" test -z "$(ls -A "$work/shared")"
mkdir -p "$work/in/z" && printf 'another memo\n' >"$work/in/z/memo.txt" && rm -f "$work/auto/out/"*
auto memo.txt ../z/memo.txt
check "automatic run names the file it did not archive: exit 1" sh -c "test $? -eq 1 && grep -q 'not archived: .*/z/memo.txt (同じ名前' '$work/stdout'"
rm -f "$work/auto/out/"*
(cd "$work/in" && XDG_CONFIG_HOME=$work/auto QT_QPA_PLATFORM=offscreen "$program" x/rel.DVF >/dev/null 2>&1)
check "automatic run opens a relative job file" test -f "$work/auto/out/MEMO.TXT.LZH"
mkdir -p "$work/taken" && ln -s "$work/shared" "$work/taken/dravonel2-$(id -u)"
# Its message box waits for the user: the session's SIGTERM closes it.
(cd "$work/in/x" && TMPDIR=$work/taken XDG_CONFIG_HOME=$work/auto QT_QPA_PLATFORM=offscreen timeout --preserve-status -s TERM 3 "$program" memo.txt >/dev/null 2>&1)
check "no private temporary folder: the start stops, exit 1" test $? -eq 1
check "nothing written into the planted folder" test -z "$(ls -A "$work/shared")"

echo "batch: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
