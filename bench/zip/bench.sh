#!/usr/bin/env bash
# libzip32j.so against Info-ZIP `zip`, each timed as a whole process (the
# kernel's account of the finished process, to the microsecond): the driver
# bench/zip/zip_bench.c loads the module and makes the archives in one
# process, `zip` runs once per archive; the two take turns, run by run. One line
# per case: the input size, then for each tool the bytes out, CPU seconds (user
# + system), wall seconds and peak RSS, medians of RUNS runs (5 unless set; three
# times as many for the licenses, whose runs take milliseconds), and the
# module's size and CPU time as fractions of zip's. Cases: headers.tar,
# libstdc++.so.6 and the licenses text at -9, -6 (the default) and -0; 1000
# files of about 25 bytes, one archive each at -9 (the driver's 1000 calls
# against a shell loop that starts zip 1000 times); 256 MiB of one byte at -9.
# With --rss, also a 1 GiB mixed file at -9 (one run each).
# Usage: bench/zip/bench.sh [--rss] [build-dir]   (configured with cmake first)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$root/build"
want_rss=0
for a in "$@"; do
    case "$a" in
    --rss) want_rss=1 ;;
    *) build="$a" ;;
    esac
done
cmake --build "$build" -j2 --target zip_bench zip32j izip32j >/dev/null
drv="$build/bin/zip_bench"
lib="$build/bin/libzip32j.so"
runs="${RUNS:-5}"
out="$root/bench/out/zip"
corpus="$out/corpus"
. "$root/bench/corpus.sh"
make_corpus "$corpus"
mkdir -p "$corpus/tiny"
[ -f "$corpus/ones.bin" ] || head -c $((256 << 20)) /dev/zero >"$corpus/ones.bin"
if [ ! -f "$corpus/tiny.list" ]; then
    for i in $(seq -w 1 1000); do
        printf 'tiny file %s of the set.\n' "$i" >"$corpus/tiny/$i.txt"
        echo "$corpus/tiny/$i.txt"
    done >"$corpus/tiny.list"
fi

. "$root/bench/timing.sh"

# timed_in DIR TIMES COMMAND...: timed (bench/timing.sh) with COMMAND writing
# into DIR, a fresh folder (fresh_folder); what it set aside is deleted once
# the case is measured.
timed_in() {
    fresh_folder "$1"
    shift
    timed "$@"
}

# bytes_of DIR: the bytes of DIR's files.
bytes_of() { find "$1" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }'; }

# one NAME LEVEL SIZE-IN DRIVER-INPUT ZIP-COMMAND...: times both, run by run in
# turns, and prints the line.
one() {
    local name="$1" level="$2" size="$3" input="$4"
    shift 4
    : >"$out/peer.times"
    : >"$out/module.times"
    for _ in $(seq "$n"); do
        timed_in "$out/peer" "$out/peer.times" "$@"
        timed_in "$out/module" "$out/module.times" "$drv" "$lib" "$level" "$out/module" "$input"
    done
    for a in "$out"/module/*.zip; do
        unzip -tqq "$a" >/dev/null || { echo "bench: unzip rejects $a" >&2; exit 1; }
    done
    rm -rf "$out/kept"
    medians "$out/peer.times"
    local zbytes zcpu="$cpu" zwall="$wall" zrss
    zrss=$(awk -v k="$rss" 'BEGIN { print k / 1024 }')
    zbytes=$(bytes_of "$out/peer")
    medians "$out/module.times"
    rss=$(awk -v k="$rss" 'BEGIN { print k / 1024 }')
    bytes=$(bytes_of "$out/module")
    printf '%-22s %11d %10d %7.3f %7.2f %6.1f %10d %7.3f %7.2f %6.1f %6.3f %6.3f\n' \
        "$name" "$size" "$zbytes" "$zcpu" "$zwall" "$zrss" "$bytes" "$cpu" "$wall" "$rss" \
        "$(awk -v a="$bytes" -v b="$zbytes" 'BEGIN { print a / b }')" \
        "$(awk -v a="$cpu" -v b="$zcpu" 'BEGIN { print (b > 0 ? a / b : 0) }')"
}

printf '%-22s %11s %10s %7s %7s %6s %10s %7s %7s %6s %6s %6s\n' case size-in zip-out zip-cpu \
    zip-wall zip-MB mod-out mod-cpu mod-wall mod-MB size cpu
n="$runs"
for level in 9 6 0; do
    for f in headers.tar libstdc++.so.6 licenses.txt; do
        in="$corpus/$f"
        # Runs of a few milliseconds move most with the machine's other work.
        n="$runs"
        [ "$f" != licenses.txt ] || n=$((3 * runs))
        one "$f -$level" "$level" "$(stat -c %s "$in")" "$in" zip -q "-$level" -j "$out/peer/0.zip" "$in"
    done
done
n="$runs"
one "1000 tiny files -9" 9 "$(cat "$corpus"/tiny/*.txt | wc -c)" "@$corpus/tiny.list" \
    bash -c 'i=0; while read -r f; do zip -q -9 -j "$0/$i.zip" "$f"; i=$((i + 1)); done <"$1"' \
    "$out/peer" "$corpus/tiny.list"
one "256 MiB one byte -9" 9 $((256 << 20)) "$corpus/ones.bin" \
    zip -q -9 -j "$out/peer/0.zip" "$corpus/ones.bin"
echo "256 MiB one byte: module $(awk -v c="$cpu" 'BEGIN { printf "%.0f", 268.435456 / c }') MB/s of CPU"

if [ "$want_rss" = 1 ]; then
    # 1 GiB of the corpus and 1 MiB of noise in turn: text, code and what does not shrink.
    big="$out/big.bin"
    head -c $((1 << 20)) /dev/urandom >"$out/noise.bin"
    while [ "$(stat -c %s "$big" 2>/dev/null || echo 0)" -lt $((1 << 30)) ]; do
        cat "$corpus/headers.tar" "$corpus/libstdc++.so.6" "$corpus/licenses.txt" "$out/noise.bin"
    done >"$big"
    truncate -s $((1 << 30)) "$big"
    n=1
    one "1 GiB mixed -9" 9 $((1 << 30)) "$big" zip -q -9 -j "$out/peer/0.zip" "$big"
    rm -f "$big"
fi
rm -rf "$out/peer" "$out/module"
