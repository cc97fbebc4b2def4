#!/usr/bin/env bash
# Compression benchmark of the LHA module against jlha, on files every machine
# of this kind has. Prints one line per input and tool: input, size in, size out,
# seconds; then the peak memory of the module for a 1 GiB input.
#   bash bench/lha/run.sh [build-dir]        (default: build)
# Set BENCH_BIG=0 to leave out the 1 GiB run, BENCH_FUZZ=<seconds> to run the
# libFuzzer target of the extractor for that long (needs clang).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
module="$build/bin/libunlha32.so"
[ -f "$module" ] || { echo "build the project first: $module is missing" >&2; exit 1; }
out="$root/bench/out/lha"
mkdir -p "$out"
corpus="$out/corpus"
mkdir -p "$corpus"

[ -f "$corpus/headers.tar" ] || tar cf "$corpus/headers.tar" -C /usr/include c++
[ -f "$corpus/libstdc++.so.6" ] || cp /usr/lib/x86_64-linux-gnu/libstdc++.so.6 "$corpus/"
[ -f "$corpus/licenses.txt" ] || cat /usr/share/common-licenses/* > "$corpus/licenses.txt"

driver="$out/lha_bench"
g++ -std=c++20 -O2 -Wall -Wextra -o "$driver" "$root/bench/lha/lha_bench.cpp" -ldl

seconds_of() { # command... -> prints the wall-clock seconds it took
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}

printf '%-16s %-8s %12s %12s %9s %9s\n' input tool size_in size_out seconds MB/s
for f in headers.tar libstdc++.so.6 licenses.txt; do
    in="$corpus/$f"
    size_in=$(stat -c %s "$in")
    for method in 5 6 7; do
        archive="$out/$f.lh$method.lzh"
        rm -f "$archive"
        line=$("$driver" "$module" "u -o$method \"$archive\" \"$in\"")
        secs=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$line")
        lha t "$archive" >/dev/null || { echo "lhasa rejects $archive" >&2; exit 1; }
        printf '%-16s %-8s %12d %12d %9.3f %9.1f\n' "$f" "dravo-lh$method" "$size_in" \
            "$(stat -c %s "$archive")" "$secs" "$(echo "$size_in / $secs / 1000000" | bc -l)"
    done
    if command -v jlha >/dev/null; then
        for method in 5 7; do
            archive="$out/$f.jlha$method.lzh"
            rm -f "$archive"
            secs=$(cd "$corpus" && seconds_of jlha "ao$method" "$archive" "$f")
            printf '%-16s %-8s %12d %12d %9.3f %9.1f\n' "$f" "jlha-lh$method" "$size_in" \
                "$(stat -c %s "$archive")" "$secs" "$(echo "$size_in / $secs / 1000000" | bc -l)"
        done
    fi
done

if [ "${BENCH_BIG:-1}" != 0 ]; then
    big="$out/big.bin"
    if [ ! -f "$big" ] || [ "$(stat -c %s "$big")" -lt 1073741824 ]; then
        rm -f "$big"
        while [ "$(stat -c %s "$big" 2>/dev/null || echo 0)" -lt 1073741824 ]; do
            cat "$corpus/headers.tar" "$corpus/libstdc++.so.6" >> "$big"
        done
        truncate -s 1073741824 "$big"
    fi
    archive="$out/big.lzh"
    rm -f "$archive"
    line=$("$driver" "$module" "u \"$archive\" \"$big\"")
    secs=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$line")
    rss=$(sed -n 's/.*peak_rss_kib=\([0-9]*\).*/\1/p' <<<"$line")
    printf '%-16s %-8s %12d %12d %9.3f %9.1f  peak RSS %d KiB\n' "1GiB" "dravo-lh5" \
        "$(stat -c %s "$big")" "$(stat -c %s "$archive")" "$secs" \
        "$(echo "1073741824 / $secs / 1000000" | bc -l)" "$rss"
    rm -f "$archive"
fi

if [ -n "${BENCH_FUZZ:-}" ] && command -v clang++ >/dev/null; then
    fuzzer="$out/fuzz_extract"
    clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined \
        -I"$root/archivers/common" -I"$root/archivers/lha" -o "$fuzzer" \
        "$root/bench/lha/fuzz_extract.cpp" "$root"/archivers/lha/{crc16,lh_block,lh_decoder,lh_encoder,lh_huffman,lh_match,lh_parse_lazy,lh_parse_optimal,lh_prices,lzh_archive,lzh_header,lzh_names}.cpp \
        "$root"/archivers/common/{atomic_output,cmdline,files}.cpp -lpthread
    mkdir -p "$out/fuzz-corpus"
    cp "$out"/*.lzh "$out/fuzz-corpus/" 2>/dev/null || true
    find "$out/fuzz-corpus" -size +1M -delete
    "$fuzzer" -max_total_time="$BENCH_FUZZ" -max_len=65536 -rss_limit_mb=4096 "$out/fuzz-corpus"
fi
