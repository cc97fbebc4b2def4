#!/usr/bin/env bash
# After archiving: --verify decodes what was made (a module whose archives
# list right but do not decode is caught), --trash-originals moves only
# archived and verified files into a real freedesktop trash, and the progress
# line appears on a terminal (a real pseudo-terminal) and nowhere else.
set -u
program=$1
modules=$2
fakes=$3
. "$(dirname "$0")/../../support/headless_env.sh"
# HOME and the trash on the files' own volume, as a user's home is.
export HOME=$work XDG_DATA_HOME=$work/data LC_ALL=C.UTF-8
mkdir -p "$work/in" "$work/out" "$work/data"
passed=0 failed=0
check() { # description, then a command that must succeed
    local what=$1; shift
    if "$@" >/dev/null 2>&1; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; fi
}
status_of() { "$@" >"$work/stdout" 2>"$work/stderr"; echo $?; }
ends_cleared() { python3 -c 'import sys; sys.exit(not open(sys.argv[1], "rb").read().endswith(b"\r\033[K"))' "$1"; }
for n in 'a" b.txt' '-lead.txt' 'back\slash.txt' 'one.txt'; do printf '%s\n' "$n" >"$work/in/$n"; done

# A stand-in module whose archives list every file right but extract nothing.
s=$(DRAVONEL2_SYSTEM_DIR=$fakes status_of "$program" --batch filen --out "$work/out" -- "$work/in/one.txt")
check "without --verify the stand-in's archive passes" test "$s" -eq 0
s=$(DRAVONEL2_SYSTEM_DIR=$fakes status_of "$program" --batch filen --verify --out "$work/out" -- "$work/in/one.txt")
check "--verify catches it: exit 1, the file named" sh -c "test $s -eq 1 && grep -q 'not archived: .*one.txt (展開した内容がファイルと一致しません)' '$work/stderr'"
s=$(DRAVONEL2_SYSTEM_DIR=$fakes status_of "$program" --batch filen --trash-originals --out "$work/out" -- "$work/in/one.txt")
check "an unverified file stays" sh -c "test $s -eq 1 && test -f '$work/in/one.txt' && test ! -e '$work/data/Trash/files/one.txt'"

export DRAVONEL2_SYSTEM_DIR=$modules
s=$(status_of "$program" --batch filen --format zip --verify --out "$work/out" -- "$work/in/"*)
check "--verify with the real modules: exit 0" test "$s" -eq 0
s=$(status_of "$program" --batch dravo --method double --verify --out "$work/out" -- "$work/in/one.txt")
check "--verify of a double archive: exit 0" sh -c "test $s -eq 0 && lhasa t '$work/out/ONE.LZH.LZH'"

# The trash: every archived file is in files/ with its .trashinfo; a file
# that was not archived (a folder given) stays.
mkdir "$work/in/folder"
s=$(status_of "$program" --batch normal --name All --trash-originals --out "$work/out" -- "$work/in/"*)
check "trash run: exit 1 for the folder only" sh -c "test $s -eq 1 && test \$(grep -c 'not archived' '$work/stderr') -eq 1"
check "the archive holds the files" sh -c "test \$(lhasa l '$work/out/ALL.LZH' | grep -c 'txt') -eq 4"
check "the originals are gone from their folder" test "$(ls -A "$work/in")" = folder
for n in 'a" b.txt' '-lead.txt' 'back\slash.txt' 'one.txt'; do
    check "'$n' is in the trash with its bytes" test "$(cat "$work/data/Trash/files/$n")" = "$n"
    check "'$n' has its trashinfo" grep -q '^DeletionDate=' "$work/data/Trash/info/$n.trashinfo"
done
check "trashinfo paths are the originals'" grep -qx "Path=$work/in/one.txt" "$work/data/Trash/info/one.txt.trashinfo"
# The path is escaped as in URLs, so that a restore gives back the very name.
printf 'pct\n' >"$work/in/50%20 off.txt"
status_of "$program" --batch filen --trash-originals --out "$work/out" -- "$work/in/50%20 off.txt" >/dev/null
check "a trashinfo path with '%' and a blank decodes to the original" python3 -c 'import sys, urllib.parse as u
path = [l[5:] for l in open(sys.argv[1]).read().splitlines() if l.startswith("Path=")][0]
sys.exit(u.unquote(path) != sys.argv[2])' "$work/data/Trash/info/50%20 off.txt.trashinfo" "$work/in/50%20 off.txt"

# The progress line: on a terminal, drawn and cleared; not in a file.
mkdir -p "$work/auto" "$work/auto-out"
printf '[Dravonel2]\nAuto=True\nAutoExe=3\nAutoLog=False\nDir_Out=%s\nDir_Out_Yuko=True\n' "$work/auto-out" >"$work/auto/Korvath's Soft.ini"
for i in 1 2 3; do head -c 300000 /dev/urandom >"$work/in/r$i.bin"; done
python3 - "$program" "$work" <<'PY'
import os, pty, subprocess, sys
program, work = sys.argv[1], sys.argv[2]
def run(args):
    master, slave = pty.openpty()
    p = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=slave)
    os.close(slave)
    out = b""
    while True:
        try:
            chunk = os.read(master, 4096)
        except OSError:
            break
        if not chunk:
            break
        out += chunk
    p.wait()
    return out
for what, args in (("batch", [program, "--batch", "filen", "--out", work + "/out", work + "/in/r1.bin", work + "/in/r2.bin", work + "/in/r3.bin"]),
                   ("extract", [program, "--extract", "--out", work + "/out", work + "/out/R1.BIN.LZH", work + "/out/R2.BIN.LZH"]),
                   ("automatic", ["env", "XDG_CONFIG_HOME=" + work + "/auto", "QT_QPA_PLATFORM=offscreen", program, work + "/in/r1.bin", work + "/in/r2.bin"])):
    out = run(args)
    open(work + "/" + what + ".tty", "wb").write(out)
PY
check "batch: a progress line on the terminal" grep -qaE '\[[1-3]/3\] [0-9.]+ [KM]iB / 878.9 KiB R[1-3].BIN.LZH: r[1-3].bin' "$work/batch.tty"
check "batch: the line is cleared at the end" ends_cleared "$work/batch.tty"
check "extract: a progress line with the member" grep -qa '\[2/2\] .*r2.bin' "$work/extract.tty"
check "extract: cleared at the end" ends_cleared "$work/extract.tty"
check "automatic run: a progress line" grep -qaE '\[[12]/2\] [0-9.]+ KiB / 585.9 KiB R[12].BIN.LZH: r[12].bin' "$work/automatic.tty"
check "automatic run: cleared at the end" ends_cleared "$work/automatic.tty"
status_of "$program" --batch filen --out "$work/out" "$work/in/r1.bin" >/dev/null
check "no progress when stderr is not a terminal" sh -c "! grep -qa \$'\\033' '$work/stderr' && ! grep -qa \$'\\r' '$work/stderr'"

echo "$passed passed, $failed failed"
test "$failed" -eq 0
