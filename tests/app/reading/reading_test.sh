#!/usr/bin/env bash
# --list, --test and --extract end to end with the real modules and no
# display, on archives made by other tools (LHa for UNIX, Python's zipfile):
# Shift_JIS and CP932 names, content over extension, nothing replaced, members
# named on failure, double archives with --inner.
set -u
program=$1
modules=$2
data=$3
. "$(dirname "$0")/../../support/headless_env.sh"
export DRAVONEL2_SYSTEM_DIR=$modules LC_ALL=C.UTF-8
mkdir -p "$work/a" "$work/o"
passed=0 failed=0
check() { # description, then a command that must succeed
    local what=$1; shift
    if "$@" >/dev/null 2>&1; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; fi
}
status_of() { "$@" >"$work/stdout" 2>"$work/stderr"; echo $?; }
# The MANIFEST's sums, checked in a folder where the members landed by bare name.
sums_match() { (cd "$1" && sed -n 's/^\([0-9a-f]\{40\}\)  [0-9]*  \(.*\)$/\1  \2/p' "$data/MANIFEST" | sed 's|  .*/|  |' | sha1sum -c --quiet); }

# An LHa for UNIX archive (Shift_JIS names, one in a folder) under an
# upper-case name: six files, so a folder named after the archive.
cp "$data/lha-for-unix-level2.lzh" "$work/a/TEST.LZH"
s=$(status_of "$program" --extract --out "$work/o" "$work/a/TEST.LZH")
check "LZH extract exits 0" test "$s" -eq 0
check "six files in the archive's folder, right names and bytes" sums_match "$work/o/TEST"
check "times restored" test "$(date -u -r "$work/o/TEST/plain.txt" +%Y)" = 2024
s=$(status_of "$program" --extract --out "$work/o" "$work/a/TEST.LZH")
check "again: a new folder TEST (2), the first untouched" sh -c "test $s -eq 0 && test -d '$work/o/TEST (2)' && test \$(ls '$work/o/TEST' | wc -l) -eq 6"
s=$(status_of "$program" --list "$work/a/TEST.LZH")
check "--list shows the decoded names" sh -c "test $s -eq 0 && grep -q 'フォルダ/資料.txt' '$work/stdout' && grep -q '漢字テスト.txt' '$work/stdout'"

# ZIP files from Python: CP932 names without the UTF-8 flag (as Japanese
# Windows archivers write them), a Windows path, one name in two folders, a
# name with ESC, a climbing name, a mode and a time.
python3 - "$work/a" <<'PY'
import sys, zipfile
class Cp932Info(zipfile.ZipInfo):
    def _encodeFilenameFlags(self):
        return self.filename.encode("cp932"), self.flag_bits
d = sys.argv[1]
with zipfile.ZipFile(d + "/one.zip", "w") as z:
    i = Cp932Info("日本語.txt", (2020, 5, 6, 7, 8, 10)); i.create_system = 0
    z.writestr(i, "nihongo\n")
with zipfile.ZipFile(d + "/many.ZIP", "w", zipfile.ZIP_DEFLATED) as z:
    i = Cp932Info("資料\\表.txt", (2021, 1, 1, 0, 0, 0)); i.create_system = 0
    z.writestr(i, "hyou\n")
    for n in ("x/same.txt", "y/same.txt"):
        z.writestr(n, n + "\n")
    i = zipfile.ZipInfo("run.sh", (2022, 2, 2, 2, 2, 2)); i.create_system = 3; i.external_attr = 0o100750 << 16
    z.writestr(i, "#!/bin/sh\n")
    z.writestr("../../up.txt", "up\n")
    z.writestr("esc\033[2Jname.txt", "esc\n")
PY
s=$(status_of "$program" --extract --out "$work/o" "$work/a/one.zip")
check "one file: straight into --out, CP932 name decoded" sh -c "test $s -eq 0 && test \"\$(cat '$work/o/日本語.txt')\" = nihongo"
echo mine >"$work/o/日本語.txt"
s=$(status_of "$program" --extract --out "$work/o" "$work/a/one.zip")
check "an existing file is kept, the new one is 日本語 (2).txt" sh -c "test $s -eq 0 && test \"\$(cat '$work/o/日本語.txt')\" = mine && test \"\$(cat '$work/o/日本語 (2).txt')\" = nihongo"
# A member whose name is as long as a name may be: taken, it comes out
# under the name cut short before " (2)".
long=$(printf 'z%.0s' $(seq 251)).txt
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1], "w").writestr(sys.argv[2], "long\n")' "$work/a/longname.zip" "$long"
mkdir "$work/long"
for i in 1 2; do s=$(status_of "$program" --extract --out "$work/long" "$work/a/longname.zip"); done
check "a taken name of 255 bytes: the new one is cut short before (2)" sh -c "test $s -eq 0 && test \"\$(cat '$work/long/$long' '$work/long/${long:0:247} (2).txt')\" = 'long
long'"
s=$(status_of "$program" --extract --out "$work/o" "$work/a/many.ZIP")
check "ZIP: both files of one name kept, Windows path cut" sh -c "test \"\$(cat '$work/o/many/same.txt' '$work/o/many/same (2).txt')\" = 'x/same.txt
y/same.txt' && test -f '$work/o/many/表.txt'"
check "mode restored" test "$(stat -c %a "$work/o/many/run.sh")" = 750
check "the climbing name lands inside" sh -c "test -f '$work/o/many/up.txt' && test ! -e '$work/up.txt' && test ! -e '$work/o/up.txt'"
check "the ESC name is named escaped, never raw" sh -c "grep -q 'esc.033\\[2Jname.txt' '$work/stderr' && ! grep -q \$'\\033' '$work/stderr'"
check "a member not extracted: exit 1" test "$s" -eq 1
XDG_STATE_HOME="$work/state" "$program" --extract --notify --out "$work/o" "$work/a/many.ZIP" >/dev/null 2>&1
check "--notify's log shows the ESC name escaped too" sh -c "grep -q 'esc.033\[2Jname.txt' '$work/state/dravonel2/'extract-*.log && ! grep -q \$'\033' '$work/state/dravonel2/'extract-*.log"
check "no staging folder left" sh -c "! ls -A '$work/o' | grep -q dravonel2-extract"

# Hostile archives: a name longer than a file name may be, an LHa for UNIX
# symbolic link ("-lhd-", "link|target"), a name that is neither UTF-8 nor
# Shift_JIS, a ".." member, a file marked a folder by its attributes alone
# (with a damaged CRC); a sound ok.txt after each.
python3 - "$work/a" <<'PY2'
import io, struct, sys, warnings, zipfile
d = sys.argv[1]
def crc16(data):
    c = 0
    for b in data:
        c ^= b
        for _ in range(8):
            c = (c >> 1) ^ 0xA001 if c & 1 else c >> 1
    return c
def lzh1(method, name, data=b"", mode=0o100644):  # a level-1 header of the Unix id
    ext = struct.pack("<BHH", 0x50, mode, 0)  # the Unix mode
    base = (method + struct.pack("<IIIBBB", len(ext + data), len(data), 0x50210000, 0x20, 1,
            len(name)) + name + struct.pack("<HcH", crc16(data), b"U", len(ext)))
    return bytes([len(base), sum(base) & 0xFF]) + base + ext + data
ok = lzh1(b"-lh0-", b"ok.txt", b"ok\n")
for n, first in (("link", lzh1(b"-lhd-", b"lnk|/etc/passwd", mode=0o120777)),
                 ("raw", lzh1(b"-lh0-", b"\xfe.txt", b"raw\n")), ("dots", lzh1(b"-lh0-", b"..", b"dots\n"))):
    open(f"{d}/{n}.lzh", "wb").write(first + ok + b"\0")
open(f"{d}/twice.lzh", "wb").write(lzh1(b"-lh0-", b"twice.txt", b"first\n") + lzh1(b"-lh0-", b"twice.txt", b"second\n")
                                   + lzh1(b"-lh0-", b"", b"none\n") + lzh1(b"-lh0-", b".", b"dot\n") + b"\0")
with warnings.catch_warnings(), zipfile.ZipFile(f"{d}/twice.zip", "w") as z:
    warnings.simplefilter("ignore")  # the duplicate name is the point
    for data in ("first\n", "second\n"):
        z.writestr(zipfile.ZipInfo("twice.txt"), data)
open(f"{d}/tree.lzh", "wb").write(b"".join(  # DOS times; 0xFF separates folders
    lzh1(b"-lh0-", b"d%d\xff" % i + (b"Makefile" if i % 2 == 0 else b"f%d.c" % i), b"%d" % i) for i in range(200)) + b"\0")
with zipfile.ZipFile(f"{d}/long.zip", "w") as z:
    z.writestr("L" * 300, "long\n")
    z.writestr("ok.txt", "ok\n")
b = io.BytesIO()
with zipfile.ZipFile(b, "w") as z:
    i = zipfile.ZipInfo("file.txt"); i.create_system = 3; i.external_attr = 0o100644 << 16 | 0x10
    z.writestr(i, "data\n")
b = bytearray(b.getvalue()); b[b.index(b"data")] ^= 1
open(f"{d}/dirattr.zip", "wb").write(b)
with zipfile.ZipFile(f"{d}/folders.zip", "w") as z:  # folders marked by their attributes alone
    for name, host, attr, data in (("dos", 0, 0x10, ""), ("unix", 3, 0o040755 << 16, ""),
                                   ("kept.txt", 0, 0x10, "kept\n")):
        i = zipfile.ZipInfo(name); i.create_system = host; i.external_attr = attr
        z.writestr(i, data)
PY2
mkdir "$work/h"
s=$(status_of "$program" --extract --out "$work/h" "$work/a/long.zip")
check "a name too long for the file system: the members after it still extract, into the archive's folder" sh -c "test $s -eq 1 && test -f '$work/h/long/ok.txt'"
s=$(status_of "$program" --extract --out "$work/h" "$work/a/link.lzh")
check "an LZH symbolic link is named, nothing made of it: exit 1" sh -c "test $s -eq 1 && grep -q 'link.lzh.: lnk|/etc/passwd (a symbolic link)' '$work/stderr' && test ! -L '$work/h/lnk'"
s=$(status_of "$program" --extract --out "$work/h" "$work/a/raw.lzh")
check "a name not UTF-8 is named so, no staging folder left" sh -c "test $s -eq 1 && grep -q 'raw.lzh.*(its name is not valid UTF-8)' '$work/stderr' && ! ls -A '$work/h' | grep -q dravonel2-extract"
s=$(status_of "$program" --extract --out "$work/h" "$work/a/dots.lzh")
check "a '..' member is named as passed over, not as damage" sh -c "test $s -eq 1 && grep -q \"dots.lzh': .. (passed over\" '$work/stderr'"
mkdir "$work/t"
s=$(status_of "$program" --extract --out "$work/t" "$work/a/twice.lzh" "$work/a/twice.zip")
check "two members of one path: the first is extracted, the second named as passed over" sh -c "test $s -eq 1 && test \"\$(find '$work/t' -name 'twice*.txt' -exec cat {} +)\" = 'first
first' && test \$(grep -c 'twice.txt (passed over' '$work/stderr') -eq 2"
check "members of no name are named as passed over" sh -c "test \$(grep -c \"twice.lzh':  (passed over\" '$work/stderr') -eq 2"
s=$(status_of "$program" --test "$work/a/dirattr.zip")
check "a file marked a folder by its attributes is tested, not passed as OK" sh -c "test $s -eq 1 && grep -q 'file.txt: CRC error' '$work/stderr'"
s=$(status_of "$program" --extract --out "$work/h" "$work/a/folders.zip")
check "folders marked by their attributes alone are no failures; one that holds data is a file" sh -c "test $s -eq 0 && test \"\$(cat '$work/h/kept.txt')\" = kept"
s=$(status_of "$program" --list "$work/a/folders.zip")
check "--list shows them as folders" sh -c "test $s -eq 0 && grep -q ' dos/\$' '$work/stdout' && grep -q ' unix/\$' '$work/stdout'"
# Files of one name in several folders take a call each time the name comes
# back, not a call a member; each "NAME (N)" is found without trying again the
# numbers given before; a call works out the times of its own members only
# (each DOS time read through the time zone file): a source tree with a
# Makefile in many folders extracts in a few calls, all its files kept.
python3 -c 'import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for i in range(200): z.writestr(f"d{i}/" + ("Makefile" if i % 2 == 0 else f"f{i}.c"), str(i))' "$work/a/tree.zip"
mkdir "$work/h/lzh"
strace -f -e trace=openat,newfstatat,statx -o "$work/trace" "$program" --extract --out "$work/h" "$work/a/tree.zip" >/dev/null 2>&1
strace -f -e trace=openat,newfstatat,statx -o "$work/trace-lzh" "$program" --extract --out "$work/h/lzh" "$work/a/tree.lzh" >/dev/null 2>&1
check "a tree with 100 Makefiles: its 200 files in few calls and looks" sh -c "test \$(ls '$work/h/tree' | wc -l) -eq 200 && test \$(grep -c 'tree.zip\"' '$work/trace') -lt 150 && test \$(grep -c 'Makefile (' '$work/trace') -lt 1000 && test \$(grep -c /etc/localtime '$work/trace') -lt 2000"
check "the same in LZH" sh -c "test \$(ls '$work/h/lzh/tree' | wc -l) -eq 200 && test \$(grep -c /etc/localtime '$work/trace-lzh') -lt 2000"
# Extractions into one folder at once each get a folder of their own.
for r in 1 2 3 4; do
    for i in 1 2 3 4 5 6 7 8; do "$program" --extract --out "$work/h" "$work/a/TEST.LZH" >/dev/null 2>>"$work/race" & done
    wait
done
check "extractions at once: a folder each, none refused" sh -c "test \$(ls -d '$work/h'/TEST* | wc -l) -eq 32 && ! test -s '$work/race'"

# Content decides, not the name; what is neither is refused by name.
cp "$data/lha-for-unix-lh7.lzh" "$work/a/mislabelled.zip"
cp "$work/a/one.zip" "$work/a/-lead \"q\".lzh"
printf 'plain text\n' >"$work/a/fake.lzh"
s=$(status_of "$program" --extract --out "$work/o" -- "$work/a/mislabelled.zip" "$work/a/-lead \"q\".lzh" "$work/a/fake.lzh" "$work/a/$(printf 'bad\377.zip')")
check "a mislabelled LZH extracts" test -f "$work/o/mislabelled/長文.txt"
check "a ZIP named .lzh (leading -, quotes) extracts" test -f "$work/o/日本語 (3).txt"
check "text and a non-UTF-8 name refused by name: exit 1" sh -c "test $s -eq 1 && grep -q \"fake.lzh': not an LZH or ZIP archive\" '$work/stderr' && grep -q 'not valid UTF-8' '$work/stderr'"

# --test: every member's CRC; a damaged member is named.
s=$(status_of "$program" --test "$work/a/TEST.LZH" "$work/a/many.ZIP")
check "--test of sound archives exits 0" test "$s" -eq 0
cp "$work/a/one.zip" "$work/a/bad.zip"
python3 - "$work/a/bad.zip" <<'PY'
import sys
p = sys.argv[1]; b = bytearray(open(p, "rb").read())
i = b.index(b"nihongo"); b[i] ^= 0x20
open(p, "wb").write(b)
PY
cp "$work/a/TEST.LZH" "$work/a/bad.lzh"
# The middle of the archive is 長文.txt's compressed data (7 KB of 7.5).
python3 -c 'import sys; p=sys.argv[1]; b=bytearray(open(p,"rb").read()); b[len(b)//2]^=0xff; open(p,"wb").write(b)' "$work/a/bad.lzh"
s=$(status_of "$program" --test "$work/a/bad.zip" "$work/a/bad.lzh")
check "--test of damaged archives exits 1" test "$s" -eq 1
check "the damaged ZIP member is named" grep -q "bad.zip': 日本語.txt: CRC error" "$work/stderr"
check "the damaged LZH member is named, the sound ones pass" sh -c "grep -q \"bad.lzh': 長文.txt: \" '$work/stderr' && test \$(grep -c \"bad.lzh'\" '$work/stderr') -eq 1"
check "7z agrees the ZIP is damaged" sh -c "! 7z t '$work/a/bad.zip'"
head -c -30 "$work/a/one.zip" >"$work/a/cut.zip"
s=$(status_of "$program" --test "$work/a/cut.zip")
check "a ZIP cut short is named so, not as no archive" sh -c "test $s -eq 1 && grep -q \"cut.zip': damaged or cut short\" '$work/stderr'"
# A damaged member among many is found by halves, not by a call a member.
python3 -c 'import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for i in range(200): z.writestr(f"m{i}.txt", "damaged here" if i == 150 else str(i))
b = bytearray(open(sys.argv[1], "rb").read()); b[b.index(b"damaged here")] ^= 1; open(sys.argv[1], "wb").write(b)' "$work/a/many-bad.zip"
s=$(strace -f -e trace=openat -o "$work/trace" "$program" --test "$work/a/many-bad.zip" >/dev/null 2>"$work/stderr"; echo $?)
check "one damaged member of 200: named alone, in a few calls" sh -c "test $s -eq 1 && test \"\$(cat '$work/stderr')\" = \"dravonel2: '$work/a/many-bad.zip': m150.txt: CRC error: the data is damaged\" && test \$(grep -c 'many-bad.zip\"' '$work/trace') -lt 50"

# A double archive: --inner extracts the inner archive's files.
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1], "w").write(sys.argv[2], "DOUBLE.LZH")' "$work/a/DOUBLE.LZH.ZIP" "$work/a/TEST.LZH"
s=$(status_of "$program" --extract --inner --out "$work/o" "$work/a/DOUBLE.LZH.ZIP")
check "--inner: the inner files in DOUBLE/" sh -c "test $s -eq 0 && test ! -e '$work/o/DOUBLE/DOUBLE.LZH'" 
check "--inner: right bytes" sums_match "$work/o/DOUBLE"
python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1], "w"); z.writestr("fake.zip", "PK\3\4 no archive"); z.writestr("a.txt", "a")' "$work/a/inner-fake.zip"
s=$(status_of "$program" --extract --inner --out "$work/o" "$work/a/inner-fake.zip")
check "--inner: a member that only looks like an archive is kept and named" sh -c "test $s -eq 1 && test -f '$work/o/inner-fake/fake.zip' && grep -q \"inner-fake.zip': fake.zip: damaged or cut short\" '$work/stderr'"
s=$(status_of "$program" --extract --out "$work/o" "$work/a/DOUBLE.LZH.ZIP")
check "without --inner: the inner archive itself" sh -c "test $s -eq 0 && lhasa t '$work/o/DOUBLE.LZH'"

# What a killed extraction left (its staging folder and a free lock beside it)
# goes with the next extraction there; a live one's (lock held), folders of
# that shape without the lock, and a folder and lock of those names that came
# out of archives (the user's files) stay.
mkdir -p "$work/k/.dravonel2-extract-live01" "$work/k/.dravonel2-extract-mine01"
touch "$work/k/.dravonel2-extract-live01.lock" "$work/k/.dravonel2-extract-mine01/keep.txt"
python3 - "$work/a" <<'PY'
import sys, zipfile
d = sys.argv[1]
with zipfile.ZipFile(d + "/lock.zip", "w") as z:
    z.writestr(".dravonel2-extract-Ex7rac.lock", "")
with zipfile.ZipFile(d + "/.dravonel2-extract-Ex7rac.zip", "w") as z:
    z.writestr("a.txt", "extracted a")
    z.writestr("b.txt", "extracted b")
with zipfile.ZipFile(d + "/big.zip", "w", zipfile.ZIP_DEFLATED) as z, z.open("big.bin", "w") as f:
    for _ in range(400):
        f.write(bytes(1 << 20))
PY
staged() { ls -A "$work/k" | grep -c '^.dravonel2-extract-'; }
"$program" --extract --out "$work/k" "$work/a/big.zip" >/dev/null 2>&1 & killed=$!
for _ in $(seq 500); do
    test "$(staged)" -eq 5 && break # its folder and its lock are there
    sleep 0.01
done
kill -9 "$killed"; wait "$killed" 2>/dev/null
check "the killed extraction left its staging folder and lock" test "$(staged)" -eq 5
flock "$work/k/.dravonel2-extract-live01.lock" sleep 30 & holder=$!
sleep 0.3
s=$(status_of "$program" --extract --out "$work/k" "$work/a/one.zip")
kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null
check "a killed extraction's staging folder and lock are swept, a live one's and an unlocked one stay" sh -c "test $s -eq 0 && test $(staged) -eq 3 && test -d '$work/k/.dravonel2-extract-live01' && test -f '$work/k/.dravonel2-extract-mine01/keep.txt'"
"$program" --extract --out "$work/k" "$work/a/lock.zip" "$work/a/.dravonel2-extract-Ex7rac.zip" >/dev/null 2>&1
s=$(status_of "$program" --extract --out "$work/k" "$work/a/one.zip")
check "a folder and lock of those names extracted from archives stay" sh -c "test $s -eq 0 && test -f '$work/k/.dravonel2-extract-Ex7rac.lock' && test \"\$(cat '$work/k/.dravonel2-extract-Ex7rac/a.txt')\" = 'extracted a'"
rm -f "$work/a/big.zip"

# Bad arguments: exit 2, nothing done.
check "no archive: exit 2" test "$(status_of "$program" --extract --out "$work/o")" -eq 2
check "missing --out: exit 2" test "$(status_of "$program" --extract --out "$work/none" "$work/a/one.zip")" -eq 2
check "--inner with --test: exit 2" test "$(status_of "$program" --test --inner "$work/a/one.zip")" -eq 2

echo "$passed passed, $failed failed"
test "$failed" -eq 0
