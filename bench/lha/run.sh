#!/usr/bin/env bash
# Benchmark of the LHA module's compression against jlha, timing whole processes
# (bench/timing.sh): CPU seconds (user + system, to the microsecond), wall
# seconds and peak resident memory. The module runs inside a small driver
# (lha_bench.c); each figure is the median of five runs (three for the large
# inputs), the module's default level and its -9 in turns.
# Every row: input, method, tool, size in, size out, CPU s, wall s, peak RSS,
# then for the default level its size and CPU time as a fraction of the -9
# level's (the optimal parse) and its size as a fraction of jlha's. jlha is a
# Java program: about 0.4 s of its CPU time on every input is the Java
# start-up. Debian has no other LHA archiver that creates archives (lhasa only
# extracts).
#   bash bench/lha/run.sh [build-dir]        (default: build)
# BENCH_BIG=0 leaves out the 256 MiB and 1 GiB inputs; BENCH_FUZZ=<seconds>
# runs the libFuzzer target of the extractor for that long (needs clang);
# BENCH_BASELINE=<libunlha32.so of another build> adds rows of the default
# level against that module's default on the three files (lh5).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
module="$build/bin/libunlha32.so"
[ -f "$module" ] || { echo "build the project first: $module is missing" >&2; exit 1; }
out="$root/bench/out/lha"
corpus="$out/corpus"
. "$root/bench/corpus.sh"
make_corpus "$corpus"
if [ ! -d "$corpus/tiny" ]; then
    mkdir -p "$corpus/tiny.new"
    for i in $(seq -w 0 999); do printf 'tiny file %s: hello.\n' "$i" > "$corpus/tiny.new/f$i.txt"; done
    mv "$corpus/tiny.new" "$corpus/tiny"
fi

driver="$out/lha_bench"
gcc -std=c11 -O2 -Wall -Wextra -I"$root/archivers/common" -o "$driver" \
    "$root/bench/lha/lha_bench.c" -ldl

. "$root/bench/timing.sh"

# in_turns RUNS N RESET-9 ARGS-9... RESET ARGS...: runs the driver with the N
# arguments of the -9 case and the N of the default one in turns, each after
# its RESET (a shell command), RUNS times each, so that both meet the machine
# in the same state; sets t9 and td to their medians "cpu wall rss_kib". The
# -9 side runs the module named by `first` (this build's by default).
in_turns() {
    local runs=$1 n=$2 first=${first:-$module}
    shift 2
    local reset9=$1
    local -a nine=("${@:2:n}")
    shift $((n + 1))
    local reset=$1
    local -a default=("${@:2:n}")
    : >"$out/nine.txt"
    : >"$out/default.txt"
    for _ in $(seq "$runs"); do
        eval "$reset9"
        timed "$out/nine.txt" "$driver" "$first" "${nine[@]}"
        eval "$reset"
        timed "$out/default.txt" "$driver" "$module" "${default[@]}"
    done
    medians "$out/nine.txt"
    t9="$cpu $wall $rss"
    medians "$out/default.txt"
    td="$cpu $wall $rss"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else printf "-" }'; }

printf '%-15s %-5s %-9s %11s %10s %7s %7s %8s %7s %7s %7s\n' input meth tool size_in \
    size_out cpu_s wall_s rss_KiB size/-9 cpu/-9 size/jl
# row INPUT METHOD TOOL SIZE_IN SIZE_OUT "CPU WALL RSS" [SIZE/-9 CPU/-9 SIZE/JLHA]
row() {
    local cpu wall rss
    read -r cpu wall rss <<<"$6"
    printf '%-15s %-5s %-9s %11d %10d %7.3f %7.2f %8d %7s %7s %7s\n' "$1" "$2" "$3" "$4" "$5" \
        "$cpu" "$wall" "$rss" "${7:--}" "${8:--}" "${9:--}"
}
check() { lhasa t "$1" >/dev/null || { echo "lhasa rejects $1" >&2; exit 1; }; }

# case NAME SIZE_IN RUNS JLHA_RUNS METHOD ARCHIVE-STEM MODULE-ARGS JLHA-COMMAND
# (MODULE-ARGS end with the archive's place, marked @A@; JLHA_RUNS 0: no jlha)
bench_case() {
    local name=$1 size_in=$2 runs=$3 jruns=$4 method=$5 stem=$6 args=$7 jcmd=$8
    local a="$out/$stem.lh$method.lzh" m="$out/$stem.lh$method-9.lzh" j="$out/$stem.lh$method.jlha.lzh"
    local t9 td tj s9 sd sj=0
    in_turns "$runs" 1 "rm -f '$m'" "a -9 -o$method ${args//@A@/\"$m\"}" \
        "rm -f '$a'" "a -o$method ${args//@A@/\"$a\"}"
    check "$m"
    check "$a"
    s9=$(stat -c %s "$m")
    sd=$(stat -c %s "$a")
    if [ "$jruns" -gt 0 ] && command -v jlha >/dev/null; then
        tj=$(timed_runs "$jruns" "rm -f '$j'" bash -c "${jcmd//@A@/\"$j\"}")
        sj=$(stat -c %s "$j")
    fi
    row "$name" "lh$method" dravo "$size_in" "$sd" "$td" "$(ratio "$sd" "$s9")" \
        "$(ratio "${td%% *}" "${t9%% *}")" "$(ratio "$sd" "$sj")"
    row "$name" "lh$method" "dravo -9" "$size_in" "$s9" "$t9"
    [ "$sj" = 0 ] || row "$name" "lh$method" jlha "$size_in" "$sj" "$tj"
    rm -f "$a" "$m" "$j"
}

for f in headers.tar libstdc++.so.6 licenses.txt; do
    for method in 5 6 7; do
        bench_case "$f" "$(stat -c %s "$corpus/$f")" 5 5 "$method" "$f" "@A@ \"$corpus/$f\"" \
            "cd '$corpus' && jlha ao$method @A@ '$f'"
    done
done

# 1000 files of about 25 bytes: one archive each (a call each, as a FileN run
# makes them; sizes are their sum), then all of them in one archive. Each run
# writes into a fresh folder (fresh_folder, bench/timing.sh).
tiny_in=$(cat "$corpus"/tiny/*.txt | wc -c)
rm -rf "$out/tiny-out" "$out/tiny-out9" "$out/kept"
: >"$out/tiny-calls.txt"
: >"$out/tiny-calls-9.txt"
: >"$out/tiny.resp"
for f in "$corpus"/tiny/*.txt; do
    b=$(basename "$f")
    echo "a \"$out/tiny-out/$b.lzh\" \"$f\"" >>"$out/tiny-calls.txt"
    echo "a -9 \"$out/tiny-out9/$b.lzh\" \"$f\"" >>"$out/tiny-calls-9.txt"
    printf '"%s"\r\n' "$f" >>"$out/tiny.resp"
done
in_turns 5 2 "fresh_folder '$out/tiny-out9'" -f "$out/tiny-calls-9.txt" \
    "fresh_folder '$out/tiny-out'" -f "$out/tiny-calls.txt"
sd=$(cat "$out"/tiny-out/f*.txt.lzh | wc -c)
s9=$(cat "$out"/tiny-out9/f*.txt.lzh | wc -c)
row "tiny x1000" lh5 dravo "$tiny_in" "$sd" "$td" "$(ratio "$sd" "$s9")" \
    "$(ratio "${td%% *}" "${t9%% *}")"
row "tiny x1000" lh5 "dravo -9" "$tiny_in" "$s9" "$t9"
rm -rf "$out/tiny-out" "$out/tiny-out9" "$out/kept"
bench_case "tiny, one" "$tiny_in" 5 3 5 tiny "@A@ \"@$out/tiny.resp\"" \
    "cd '$corpus/tiny' && jlha ao5 @A@ *.txt"

if [ "${BENCH_BIG:-1}" != 0 ]; then
    run="$corpus/run256.bin" # 256 MiB of one byte
    [ "$(stat -c %s "$run" 2>/dev/null || echo 0)" = 268435456 ] ||
        head -c 268435456 /dev/zero | tr '\0' 'a' >"$run"
    bench_case "256MiB of 'a'" 268435456 3 1 5 run "@A@ \"$run\"" \
        "cd '$corpus' && jlha ao5 @A@ run256.bin"
    big="$corpus/big.bin" # 1 GiB of the corpus files over and over
    if [ "$(stat -c %s "$big" 2>/dev/null || echo 0)" != 1073741824 ]; then
        rm -f "$big"
        while [ "$(stat -c %s "$big" 2>/dev/null || echo 0)" -lt 1073741824 ]; do
            cat "$corpus/headers.tar" "$corpus/libstdc++.so.6" >>"$big"
        done
        truncate -s 1073741824 "$big"
    fi
    archive="$out/big.lzh"
    t=$(timed_runs 1 "rm -f '$archive'" "$driver" "$module" "a \"$archive\" \"$big\"")
    check "$archive"
    row "1GiB mixed" lh5 dravo 1073741824 "$(stat -c %s "$archive")" "$t"
    rm -f "$archive"
fi

# The default level against the default of another build's module (say, the
# encoder it replaced), lh5, in turns: the last two columns are this build's
# size and CPU as fractions of the other's.
if [ -n "${BENCH_BASELINE:-}" ]; then
    base="$(cd "$(dirname "$BENCH_BASELINE")" && pwd)/$(basename "$BENCH_BASELINE")"
    echo "against $base (size/-9 and cpu/-9: of its default level):"
    for f in headers.tar:5 libstdc++.so.6:15 licenses.txt:15; do
        name=${f%%:*}
        a="$out/$name.lzh" b="$out/$name.base.lzh"
        first="$base" in_turns "${f##*:}" 1 "rm -f '$b'" "a -o5 \"$b\" \"$corpus/$name\"" \
            "rm -f '$a'" "a -o5 \"$a\" \"$corpus/$name\""
        check "$b"
        check "$a"
        sa=$(stat -c %s "$a")
        sb=$(stat -c %s "$b")
        row "$name" lh5 dravo "$(stat -c %s "$corpus/$name")" "$sa" "$td" \
            "$(ratio "$sa" "$sb")" "$(ratio "${td%% *}" "${t9%% *}")"
        row "$name" lh5 baseline "$(stat -c %s "$corpus/$name")" "$sb" "$t9"
        rm -f "$a" "$b"
    done
fi

if [ -n "${BENCH_FUZZ:-}" ] && command -v clang++ >/dev/null; then
    fuzzer="$out/fuzz_extract"
    # The codec's sources: every file of the LZH folder but the module's entry points.
    mapfile -t codec < <(ls "$root"/archivers/lha/*.cpp | grep -v '/unlha32\.cpp$')
    clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined \
        -I"$root/archivers/common" -I"$root/archivers/lha" -o "$fuzzer" \
        "$root/bench/lha/fuzz_extract.cpp" \
        "${codec[@]}" \
        "$root"/archivers/common/*.cpp -lpthread
    mkdir -p "$out/fuzz-corpus"
    cp "$out"/*.lzh "$out/fuzz-corpus/" 2>/dev/null || true
    find "$out/fuzz-corpus" -size +1M -delete
    "$fuzzer" -max_total_time="$BENCH_FUZZ" -max_len=65536 -rss_limit_mb=4096 "$out/fuzz-corpus"
fi
