#!/usr/bin/env bash
# The modules on what people archive, each case against its peers in the same
# run, timed as whole processes (bench/timing.sh): CPU seconds (user + system),
# wall seconds and peak resident memory, medians of RUNS runs (3 unless set),
# the tools taking turns run by run, in an order that moves on by one from run
# to run, so that no tool always runs right after the same one: on a virtual
# machine the memory a process first touches after another has run for a
# second or two can cost it several times as much to clear (the host took the
# pages back meanwhile), so that a fixed order would always charge that to the
# tool after the longest. The modules run inside a small driver
# (call.c) that makes one call, as the program does.
#
# Cases: 100 MB of the system's .gz files and 100 MB from /dev/urandom (ZIP -9
# and -6 against Info-ZIP zip, the LZH default against today's build); a tar of
# photos and text; the first 1,000 files under /usr/include (with names of
# their own) into one archive; one file of 100 MB of text and machine code;
# extracting the 1,000 files and the big file again (against unzip and lhasa).
# Rows "module -mt1" are the same call on one thread (the LZH archive must be
# the same): the CPU of the work itself, without what running side by side
# costs (on a virtual machine whose host is busy, a good deal).
# "Today's build" is another build of the project (say, the commit before this
# work) given as BENCH_BASELINE_BUILD=<its build folder>; its rows are left out
# without it. jlha (a Java program: about 0.4 s of start-up on every run) is
# timed once a case where it takes part (BENCH_JLHA=0 leaves it out).
# The extraction rows count the kernel's work of making a thousand files,
# which grows when many files were deleted in the minutes before (below, at
# compare's end): a run that starts right after another, which deletes its
# folders of extracted files as it ends, waits before its extraction cases
# until six minutes have passed since that delete (await_spent).
#
# Each line: case, tool, bytes in, bytes out, CPU s, wall s, peak RSS MB, then
# size, CPU and wall as fractions of the case's first tool (its reference).
#   bash bench/speed/run.sh [build-dir]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
for m in libunlha32.so libzip32j.so libizip32j.so libunzip32.so; do
    [ -f "$build/bin/$m" ] || { echo "build the project first: $build/bin/$m is missing" >&2; exit 1; }
done
base="${BENCH_BASELINE_BUILD:-}"
[ -z "$base" ] || base="$(cd "$base" && pwd)"
runs="${RUNS:-3}"
out="$root/bench/out/speed"
corpus="$out/corpus"
mkdir -p "$corpus"
. "$root/bench/timing.sh"

call="$out/call"
gcc -std=c11 -O2 -Wall -Wextra -I"$root/archivers/common" -o "$call" "$root/bench/speed/call.c" -ldl

# The inputs, made once.
[ -f "$corpus/gz.bin" ] ||
    { find /usr/share -name '*.gz' | sort | xargs cat | head -c 100000000 || true; } >"$corpus/gz.bin"
[ -f "$corpus/urandom.bin" ] || head -c 100000000 /dev/urandom >"$corpus/urandom.bin"
if [ ! -f "$corpus/many.list" ]; then
    # The first 1,000 files under /usr/include whose bare names no earlier one has.
    find /usr/include -type f | sort | awk -F/ '!seen[$NF]++ && n++ < 1000' >"$corpus/many.list"
fi
awk '{ printf "\"%s\"\r\n", $0 }' "$corpus/many.list" >"$corpus/many.resp"
if [ ! -f "$corpus/photos-text.tar" ]; then
    # Photos (the system's JPEG and PNG pictures, up to about 20 MB) and text.
    find /usr/share /usr/lib -xdev \( -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.png' \) \
        -size +8k 2>/dev/null | sort >"$out/photos.list"
    tar cf "$corpus/photos-text.tar" -T "$out/photos.list" /usr/share/common-licenses \
        /usr/include/c++ 2>/dev/null || true
fi
if [ ! -f "$corpus/mixed.bin" ]; then
    # 100 MB of text and machine code: the C++ headers and libstdc++ over and over.
    tar cf "$out/headers.tar" -C /usr/include c++
    while [ "$(stat -c %s "$corpus/mixed.bin" 2>/dev/null || echo 0)" -lt 100000000 ]; do
        cat "$out/headers.tar" /usr/lib/x86_64-linux-gnu/libstdc++.so.6 >>"$corpus/mixed.bin"
    done
    truncate -s 100000000 "$corpus/mixed.bin"
fi

bytes_of() { find "$1" -type f -printf '%s\n' 2>/dev/null | awk '{ s += $1 } END { print s + 0 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else printf "-" }'; }

printf '%-24s %-10s %10s %10s %7s %7s %6s %7s %7s %7s\n' case tool size_in size_out cpu_s \
    wall_s rss_MB size/ref cpu/ref wall/ref

# compare CASE SIZE-IN [LABEL OUTPUT COMMAND RUNS]...: runs each COMMAND (a
# shell command) RUNS times (0: the run count), in turns (run r starts with the
# r-th tool), OUTPUT (a file, or
# a folder when it ends in "/") made anew before each run; prints a line per
# tool, the first being the reference. Tools whose label is empty are left out.
compare() {
    local name=$1 size_in=$2
    shift 2
    local -a labels=() outs=() cmds=() counts=()
    while [ $# -gt 0 ]; do
        if [ -n "$1" ]; then
            labels+=("$1")
            outs+=("$2")
            cmds+=("$3")
            counts+=("$([ "$4" = 0 ] && echo "$runs" || echo "$4")")
        fi
        shift 4
    done
    local i j r
    for i in "${!labels[@]}"; do : >"$out/t$i"; done
    for r in $(seq "$runs"); do
        for j in "${!labels[@]}"; do
            i=$(((j + r - 1) % ${#labels[@]}))
            [ "$r" -le "${counts[i]}" ] || continue
            case "${outs[i]}" in
            */) fresh_folder "${outs[i]%/}" ;;
            *) rm -f "${outs[i]}" ;;
            esac
            timed "$out/t$i" bash -c "${cmds[i]}"
        done
    done
    local refsize=0 refcpu=0 refwall=0 size
    for i in "${!labels[@]}"; do
        medians "$out/t$i"
        size=$(bytes_of "${outs[i]%/}")
        if [ "$i" = 0 ]; then
            refsize=$size refcpu=$cpu refwall=$wall
        fi
        printf '%-24s %-10s %10d %10d %7.3f %7.2f %6.1f %7s %7s %7s\n' "$name" "${labels[i]}" \
            "$size_in" "$size" "$cpu" "$wall" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')" \
            "$(ratio "$size" "$refsize")" "$(ratio "$cpu" "$refcpu")" "$(ratio "$wall" "$refwall")"
    done
    # What the runs set aside goes now, but for folders of extracted files: on
    # an ext4 without a journal (as here) the kernel passes over the inodes
    # freed in the last minute or so, one by one, each time it makes a new
    # one, so that deleting 15,000 files here would make every tool in the
    # next case create its files up to ten times slower (seen: 1,000 files in
    # 0.09 s a minute after such a delete, 0.7-0.9 s within ten seconds of
    # it), by how many of the freed inodes its folder happens to meet. They
    # are deleted when the script ends.
    if [ -d "$out/kept" ]; then
        case "${outs[0]}" in
        */) mkdir -p "$out/spent" && mv "$out/kept" "$(mktemp -d -p "$out/spent")" ;;
        *) rm -rf "$out/kept" ;;
        esac
    fi
}

mod() { echo "$call '$build/bin/$1' $2 '$3'"; }
old() { [ -n "$base" ] && echo "$call '$base/bin/$1' $2 '$3'" || echo ""; }
label() { [ -n "$2" ] && echo "$1" || echo ""; }
jlha_on() { [ "${BENCH_JLHA:-1}" != 0 ] && command -v jlha >/dev/null && echo jlha || echo ""; }
check_lzh() { lhasa t "$1" >/dev/null || { echo "lhasa rejects $1" >&2; exit 1; }; }
check_zip() { unzip -tqq "$1" >/dev/null || { echo "unzip rejects $1" >&2; exit 1; }; }

# forget_spent: deletes the folders of extracted files set aside and notes when.
# await_spent: waits until the inodes they freed no longer slow the making of
# new ones. ext4 without a journal passes over an inode freed in the last
# minute, or in the last six while its block of the inode table is still to
# be written, and making new inodes beside it keeps that block to be written.
forget_spent() {
    if [ -d "$out/spent" ]; then
        rm -rf "$out/spent"
        date +%s >"$out/spent-deleted-at"
    fi
}
await_spent() {
    local at left
    at=$(cat "$out/spent-deleted-at" 2>/dev/null || echo 0)
    left=$((at + 370 - $(date +%s)))
    if [ "$left" -gt 0 ]; then
        echo "bench: waiting ${left} s for the files an earlier run deleted to age" >&2
        sleep "$left"
    fi
}

A="$out/a"
rm -rf "$A" "$out/kept"
forget_spent
mkdir -p "$A"
# Compressed files and noise: ZIP at -9 and -6, the LZH default.
for input in gz urandom; do
    f="$corpus/$input.bin"
    n=$(stat -c %s "$f")
    for level in 9 6; do
        compare "$input -$level" "$n" \
            "zip -$level" "$A/peer.zip" "zip -q -$level -j '$A/peer.zip' '$f'" 0 \
            module "$A/mod.zip" "$(mod libzip32j.so Zip "-j -S -$level \"$A/mod.zip\" \"$f\"")" 0 \
            "module -mt1" "$A/one.zip" "$(mod libzip32j.so Zip "-j -S -mt1 -$level \"$A/one.zip\" \"$f\"")" 0 \
            "$(label today "$base")" "$A/old.zip" \
            "$(old libzip32j.so Zip "-j -S -$level \"$A/old.zip\" \"$f\"")" 0
        check_zip "$A/mod.zip"
    done
    compare "$input lzh" "$n" \
        "$(label today "$base")" "$A/old.lzh" "$(old libunlha32.so Unlha "a \"$A/old.lzh\" \"$f\"")" 0 \
        module "$A/mod.lzh" "$(mod libunlha32.so Unlha "a \"$A/mod.lzh\" \"$f\"")" 0 \
        "module -mt1" "$A/one.lzh" "$(mod libunlha32.so Unlha "a -mt1 \"$A/one.lzh\" \"$f\"")" 0
    check_lzh "$A/mod.lzh"
    cmp -s "$A/mod.lzh" "$A/one.lzh" || { echo "the archive differs with -mt1" >&2; exit 1; }
done

# Partly compressible: photos and text in one tar.
f="$corpus/photos-text.tar"
n=$(stat -c %s "$f")
compare "photos+text lzh" "$n" \
    "$(label today "$base")" "$A/old.lzh" "$(old libunlha32.so Unlha "a \"$A/old.lzh\" \"$f\"")" 0 \
    module "$A/mod.lzh" "$(mod libunlha32.so Unlha "a \"$A/mod.lzh\" \"$f\"")" 0
check_lzh "$A/mod.lzh"
compare "photos+text -9" "$n" \
    "$(label today "$base")" "$A/old.zip" "$(old libzip32j.so Zip "-j -S -9 \"$A/old.zip\" \"$f\"")" 0 \
    module "$A/mod.zip" "$(mod libzip32j.so Zip "-j -S -9 \"$A/mod.zip\" \"$f\"")" 0 \
    "zip -9" "$A/peer.zip" "zip -q -9 -j '$A/peer.zip' '$f'" 0
check_zip "$A/mod.zip"

# 1,000 files into one archive.
n=$(xargs -d '\n' cat <"$corpus/many.list" | wc -c)
compare "1000 files lzh" "$n" \
    "$(label today "$base")" "$A/old.lzh" "$(old libunlha32.so Unlha "a \"$A/old.lzh\" \"@$corpus/many.resp\"")" 0 \
    module "$A/mod.lzh" "$(mod libunlha32.so Unlha "a \"$A/mod.lzh\" \"@$corpus/many.resp\"")" 0 \
    "module -mt1" "$A/one.lzh" "$(mod libunlha32.so Unlha "a -mt1 \"$A/one.lzh\" \"@$corpus/many.resp\"")" 0 \
    "$(jlha_on)" "$A/jlha.lzh" "xargs -d '\\n' jlha a '$A/jlha.lzh' <'$corpus/many.list'" 1
check_lzh "$A/mod.lzh"
cmp -s "$A/mod.lzh" "$A/one.lzh" || { echo "the archive differs with -mt1" >&2; exit 1; }
compare "1000 files -9" "$n" \
    "zip -9" "$A/peer.zip" "zip -q -9 -j '$A/peer.zip' -@ <'$corpus/many.list'" 0 \
    module "$A/mod.zip" "$(mod libzip32j.so Zip "-j -S -9 \"$A/mod.zip\" \"-i@$corpus/many.resp\"")" 0 \
    "$(label today "$base")" "$A/old.zip" "$(old libzip32j.so Zip "-j -S -9 \"$A/old.zip\" \"-i@$corpus/many.resp\"")" 0
check_zip "$A/mod.zip"

# Extracting them again.
await_spent
cp "$A/mod.lzh" "$out/many.lzh"
cp "$A/mod.zip" "$out/many.zip"
compare "extract 1000 lzh" "$(stat -c %s "$out/many.lzh")" \
    "$(label today "$base")" "$A/x-old/" "$(old libunlha32.so Unlha "x \"$out/many.lzh\" \"$A/x-old/\"")" 0 \
    module "$A/x-mod/" "$(mod libunlha32.so Unlha "x \"$out/many.lzh\" \"$A/x-mod/\"")" 0 \
    lhasa "$A/x-lhasa/" "cd '$A/x-lhasa' && lhasa xq '$out/many.lzh'" 0
compare "extract 1000 zip" "$(stat -c %s "$out/many.zip")" \
    unzip "$A/x-peer/" "unzip -qq -o '$out/many.zip' -d '$A/x-peer'" 0 \
    module "$A/x-mod/" "$(mod libunzip32.so UnZip "\"$out/many.zip\" \"$A/x-mod\"")" 0 \
    "$(label today "$base")" "$A/x-old/" "$(old libunzip32.so UnZip "\"$out/many.zip\" \"$A/x-old\"")" 0

# One big file of text and machine code.
f="$corpus/mixed.bin"
n=$(stat -c %s "$f")
compare "100MB mixed lzh" "$n" \
    "$(label today "$base")" "$A/old.lzh" "$(old libunlha32.so Unlha "a \"$A/old.lzh\" \"$f\"")" 0 \
    module "$A/mod.lzh" "$(mod libunlha32.so Unlha "a \"$A/mod.lzh\" \"$f\"")" 0 \
    "module -mt1" "$A/one.lzh" "$(mod libunlha32.so Unlha "a -mt1 \"$A/one.lzh\" \"$f\"")" 0 \
    "$(jlha_on)" "$A/jlha.lzh" "cd '$corpus' && jlha a '$A/jlha.lzh' mixed.bin" 1
check_lzh "$A/mod.lzh"
cmp -s "$A/mod.lzh" "$A/one.lzh" || { echo "the archive differs with -mt1" >&2; exit 1; }
compare "100MB mixed -9" "$n" \
    "zip -9" "$A/peer.zip" "zip -q -9 -j '$A/peer.zip' '$f'" 0 \
    module "$A/mod.zip" "$(mod libzip32j.so Zip "-j -S -9 \"$A/mod.zip\" \"$f\"")" 0 \
    "$(label today "$base")" "$A/old.zip" "$(old libzip32j.so Zip "-j -S -9 \"$A/old.zip\" \"$f\"")" 0
check_zip "$A/mod.zip"
cp "$A/mod.lzh" "$out/mixed.lzh"
compare "extract 100MB lzh" "$(stat -c %s "$out/mixed.lzh")" \
    "$(label today "$base")" "$A/x-old/" "$(old libunlha32.so Unlha "x \"$out/mixed.lzh\" \"$A/x-old/\"")" 0 \
    module "$A/x-mod/" "$(mod libunlha32.so Unlha "x \"$out/mixed.lzh\" \"$A/x-mod/\"")" 0 \
    lhasa "$A/x-lhasa/" "cd '$A/x-lhasa' && lhasa xq '$out/mixed.lzh'" 0
rm -rf "$A"
forget_spent
