#!/usr/bin/env bash
# Paths as the kernel resolves them, output folders that cannot be used, and
# control characters in names on the terminal: --batch and the automatic run
# of the window program, with the real modules.
set -u
program=$1
modules=$2
. "$(dirname "$0")/../../support/headless_env.sh"
export DRAVONEL2_SYSTEM_DIR=$modules
passed=0 failed=0
check() { # description, then a command that must succeed
    local what=$1; shift
    if "$@" >/dev/null 2>&1; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; fi
}
status_of() { "$@" >"$work/stdout" 2>"$work/stderr"; echo $?; }
holds() { test "$(lhasa p "$1" 2>/dev/null | tail -n 1)" = "$2"; } # archive, text of its one member
# No C0 control but tab and line feed, no DEL, no C1 (U+0080..U+009F in UTF-8).
no_raw_control() {
    ! LC_ALL=C grep -q "$(printf '[\001-\010\013-\037\177]')" "$@" &&
        ! LC_ALL=C grep -qE "$(printf '\302[\200-\237]')" "$@"
}

# proj/build is a link to ../scratch/build: ".." after it is scratch.
p=$work/p
mkdir -p "$p/proj" "$p/scratch/build" "$p/out2" "$p/arc"
echo proj >"$p/proj/README.txt"
echo scratch >"$p/scratch/README.txt"
ln -s ../scratch/build "$p/proj/build"
s=$(cd "$p" && status_of "$program" --batch filen --no-upper --out arc proj/build/../README.txt)
check "an input's .. follows the link: exit 0" test "$s" -eq 0
check "the file archived is scratch/README.txt" holds "$p/arc/README.txt.LZH" scratch
s=$(cd "$p" && status_of "$program" --batch filen --no-upper --out proj/build/.. proj/README.txt)
check "--out proj/build/.. is scratch" test "$s" -eq 0 -a -f "$p/scratch/README.txt.LZH" -a ! -e "$p/proj/README.txt.LZH"
s=$(cd "$p" && status_of "$program" --batch filen --out OUT2 proj/README.txt)
check "--out OUT2 with only out2/: missing, exit 2, nothing written" test "$s" -eq 2 -a -z "$(ls -A "$p/out2")"
s=$(cd "$p" && status_of "$program" --batch filen --out out2 PROJ/README.txt proj/readme.txt)
check "inputs in another letter case are missing: exit 1" test "$s" -eq 1 -a "$(grep -c 'not archived' "$work/stderr")" -eq 2 -a -z "$(ls -A "$p/out2")"

# A file whose path is longer than the kernel takes is named with that reason.
seg=$(printf '%0200d' 0)
(mkdir -p "$p/long" && cd "$p/long" && for i in $(seq 21); do mkdir "$seg" && cd "$seg" || exit; done && echo deep >f.txt)
s=$(status_of "$program" --batch filen --out "$p/arc" "$p/long$(printf "/$seg%.0s" $(seq 21))/f.txt")
check "a path past the kernel's limit: exit 1, named with why" test "$s" -eq 1 -a "$(grep -c 'longer than the system allows' "$work/stderr")" -eq 1

# Control characters in names reach the terminal escaped: ESC, DEL and C1
# (the archivers store no such name: the file is named as not archived).
t=$work/t
mkdir -p "$t/in" "$t/out"
esc_name=$(printf 'e\033[2Jx\177\302\233y \\z.txt')
esc_shown='e\033[2Jx\177\233y \z.txt'
echo hostile >"$t/in/$esc_name"
s=$(status_of "$program" --batch filen --no-upper --out "$t/out" "$t/in/$esc_name" "$t/in/$(printf 'gone\033[1A\015.txt')")
check "exit 1" test "$s" -eq 1
check "no raw control character on stdout or stderr" no_raw_control "$work/stdout" "$work/stderr"
check "the log names the file escaped in octal, a backslash as it is" grep -qF "$esc_shown" "$work/stdout"
check "the not-archived lines name both escaped" grep -qF "not archived: '$t/in/gone\\033[1A\\015.txt'" "$work/stderr"
check "the not-archived lines name both escaped" grep -qF "$esc_shown" "$work/stderr"

# An output folder that cannot be written into stops --batch before it runs.
if [ "$(id -u)" -ne 0 ]; then
    mkdir -p "$t/locked" && chmod 555 "$t/locked"
    s=$(status_of "$program" --batch filen --out "$t/locked" "$p/proj/README.txt")
    check "--batch with an unwritable output folder: exit 2" test "$s" -eq 2 -a -z "$(ls -A "$t/locked")"
fi

# The automatic run: a missing or unusable output folder stops it with a
# message and a non-zero status, and nothing is written anywhere.
a=$work/a
mkdir -p "$a/cfg" "$a/cwd" "$a/out" "$a/job"
echo memo >"$a/cwd/memo.txt"
auto() { # stored output folder, then the arguments
    printf '[Dravonel2]\nAuto=True\nAutoExe=3\nAutoLog=False\nDir_Out=%s\nDir_Out_Yuko=True\n' "$1" >"$a/cfg/Korvath's Soft.ini"
    shift
    (cd "$a/cwd" && XDG_CONFIG_HOME=$a/cfg QT_QPA_PLATFORM=offscreen timeout --preserve-status -s TERM 20 "$program" "$@" >"$work/stdout" 2>"$work/stderr")
}
before=$(ls -A "$a/cwd")
auto "$a/missing" memo.txt
s=$?
check "automatic run, missing output folder: non-zero" test "$s" -ne 0
check "it says why on stderr" grep -q "圧縮ファイル格納フォルダ（$a/missing）が無いか書き込みできないため実行できません。" "$work/stderr"
check "nothing written into the current folder" test "$(ls -A "$a/cwd")" = "$before"
auto "$a/OUT" memo.txt
check "automatic run, output folder in another letter case: non-zero, nothing written" test $? -ne 0 -a "$(ls -A "$a/cwd")" = "$before" -a -z "$(ls -A "$a/out")"
printf 'Dravonel2 DVF FILE\r\nINDIR=%s\r\nOUTDIR=%s\r\nFILENAME=job\r\n%s\r\n' "$a/cwd" "$a/gone" "$a/cwd/memo.txt" >"$a/job/j.DVF"
auto "$a/out" "$a/job/j.DVF"
check "a job's missing output folder: non-zero, nothing written" test $? -ne 0 -a "$(ls -A "$a/cwd")" = "$before" -a -z "$(ls -A "$a/out")" -a "$(ls -A "$a/job")" = j.DVF
# A file named, or listed by the job, that is not archived makes the status 1
# and is named, as --batch does, while the others are archived.
printf 'Dravonel2 DVF FILE\r\nINDIR=%s\r\nOUTDIR=%s\r\nFILENAME=\r\n%s\r\n%s\r\n' "$a/cwd" "$a/out" "$a/cwd/memo.txt" "$a/cwd/gone.txt" >"$a/job/k.DVF"
auto "$a/out" "$a/job/k.DVF"
check "a job's vanished entry: exit 1, named, the rest archived" test $? -eq 1 -a -f "$a/out/MEMO.TXT.LZH" -a "$(grep -c "not archived: $a/cwd/gone.txt" "$work/stderr")" -eq 1
auto "$a/out" memo.txt gone.txt
check "a missing file named: exit 1, named" test $? -eq 1 -a "$(grep -c "not archived: $a/cwd/gone.txt" "$work/stderr")" -eq 1
# A job listing more files than the list holds: those past it are named so
# (the limit's message box waits for the user until the SIGTERM).
mkdir -p "$a/many" && (cd "$a/many" && for i in $(seq 1001); do echo "$i" >"f$i"; done)
{ printf 'Dravonel2 DVF FILE\r\nINDIR=%s\r\nOUTDIR=%s\r\nFILENAME=many\r\n' "$a/many" "$a/out"; printf "$a/many/f%s\r\n" $(seq 1001); } >"$a/job/m.DVF"
printf '[Dravonel2]\nAuto=True\nAutoExe=1\nAutoLog=False\n' >"$a/cfg/Korvath's Soft.ini"
XDG_CONFIG_HOME=$a/cfg QT_QPA_PLATFORM=offscreen timeout --preserve-status -s TERM 3 "$program" "$a/job/m.DVF" >"$work/stdout" 2>"$work/stderr"
check "a job past the 1000-file limit: exit 1, the last named as over it" test $? -eq 1 -a "$(grep -c "not archived: $a/many/f1001 (the target list is full" "$work/stderr")" -eq 1
if [ "$(id -u)" -ne 0 ]; then
    mkdir -p "$a/locked" && chmod 555 "$a/locked"
    auto "$a/locked" memo.txt
    check "automatic run, unwritable output folder: non-zero" test $? -ne 0 -a -z "$(ls -A "$a/locked")" -a "$(ls -A "$a/cwd")" = "$before"
fi
cp "$t/in/$esc_name" "$a/cwd/"
auto "$a/out" "$esc_name"
check "the automatic run's log on stdout is escaped" no_raw_control "$work/stdout"
check "the automatic run's log names the file escaped" grep -qF "$esc_shown" "$work/stdout"
check "its log names the file escaped" grep -qF 'e\033[2Jx\177\233y \z.txt' "$work/stdout"

echo "kernel paths: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
