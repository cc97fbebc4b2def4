#!/usr/bin/env bash
# Compares libzip32j.so at -9 with Info-ZIP `zip -9` on the shared corpus:
# headers.tar, libstdc++.so.6 and the licenses text. One line per tool and
# file: input, size in, size out, seconds, and for the module its size and
# time as a fraction of zip's. Each tool runs three times in turn and the
# fastest run counts, so that other work on the machine weighs less on the
# figures. With --rss it also reports the peak resident memory of the module
# compressing a 1 GiB file.
# Usage: bench/zip/bench.sh [build-dir] [--rss]   (the build must exist)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
[ "${1:-}" = "--rss" ] && build="$root/build"
lib="$build/bin/libzip32j.so"
[ -f "$lib" ] || { echo "bench: $lib not built" >&2; exit 1; }
out="$root/bench/out/zip"
corpus="$out/corpus"
runs=3
mkdir -p "$corpus"
[ -f "$corpus/headers.tar" ] || tar cf "$corpus/headers.tar" -C /usr/include c++
[ -f "$corpus/libstdc++.so.6" ] || cp /usr/lib/x86_64-linux-gnu/libstdc++.so.6 "$corpus/"
[ -f "$corpus/licenses.txt" ] || cat /usr/share/common-licenses/* > "$corpus/licenses.txt"

least() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

printf '%-28s %-16s %12s %12s %8s %7s %7s\n' tool input size-in size-out seconds ratio time
for f in headers.tar libstdc++.so.6 licenses.txt; do
    in="$corpus/$f"
    peer_secs=""
    mod_secs=""
    for _ in $(seq "$runs"); do
        rm -f "$out/peer.zip" "$out/module.zip"
        start=$(date +%s.%N)
        zip -q -9 -j "$out/peer.zip" "$in"
        end=$(date +%s.%N)
        peer_secs=$(least "$peer_secs" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')")
        mod_secs=$(least "$mod_secs" "$(python3 "$root/bench/zip/run_module.py" "$lib" \
            "-j -S -9  \"$out/module.zip\" \"$in\"")")
    done
    peer_size=$(stat -c %s "$out/peer.zip")
    mod_size=$(stat -c %s "$out/module.zip")
    unzip -tq "$out/module.zip" >/dev/null
    printf '%-28s %-16s %12d %12d %8.3f\n' "zip -9 (Info-ZIP)" "$f" "$(stat -c %s "$in")" \
        "$peer_size" "$peer_secs"
    printf '%-28s %-16s %12d %12d %8.3f %7.3f %7.3f\n' "libzip32j.so -9" "$f" \
        "$(stat -c %s "$in")" "$mod_size" "$mod_secs" \
        "$(awk -v a="$mod_size" -v b="$peer_size" 'BEGIN { print a / b }')" \
        "$(awk -v a="$mod_secs" -v b="$peer_secs" 'BEGIN { print a / b }')"
done

if [ "${2:-}" = "--rss" ] || [ "${1:-}" = "--rss" ]; then
    big="$out/big.bin"
    # 1 GiB of the corpus repeated: compressible like real files.
    [ -f "$big" ] || python3 -c 'import sys
data = open(sys.argv[1], "rb").read()
with open(sys.argv[2], "wb") as out:
    left = 1 << 30
    while left > 0:
        out.write(data[:left])
        left -= len(data)' "$corpus/headers.tar" "$big"
    rm -f "$out/big.zip"
    /usr/bin/time -f '%M' -o "$out/rss" python3 "$root/bench/zip/run_module.py" "$lib" \
        "-j -S -9  \"$out/big.zip\" \"$big\"" > "$out/big.secs"
    echo "1 GiB input: $(stat -c %s "$out/big.zip") bytes out in $(cat "$out/big.secs") s," \
         "peak RSS $(cat "$out/rss") KiB"
    rm -f "$big" "$out/big.zip"
fi
