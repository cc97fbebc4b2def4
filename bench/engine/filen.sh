#!/usr/bin/env bash
# One archive per file, as whole processes: `dravonel2 --batch filen` over
# 1,000 tiny files (~25 bytes each) making LZH and ZIP archives against a shell
# loop that starts Info-ZIP `zip -9` once per file; and over 1,000 headers from
# /usr/include (of distinct names) with one archive at a time (--jobs 1) and
# with one per core. CPU (user+sys, to the microsecond), wall and peak memory
# (bench/timing.sh); the median of five runs each.
#   bash bench/engine/filen.sh [build-dir]
# BENCH_BASELINE=<dravonel2 of another build> adds its FileN over the tiny files
# and over the headers (say, the build before archives were made side by side),
# against this build's.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
program="$build/bin/dravonel2"
[ -x "$program" ] || { echo "bench: $program not built" >&2; exit 1; }
out="$root/bench/out/filen"
rm -rf "$out" && mkdir -p "$out/tiny" "$out/arc" "$out/cfg"
for i in $(seq -w 1 1000); do
    printf 'tiny file %s of the bench\n' "$i" >"$out/tiny/t$i.txt"
done
export XDG_CONFIG_HOME=$out/cfg TMPDIR=$out QT_QPA_PLATFORM=offscreen
runs=5

. "$root/bench/timing.sh"
zip_loop() {
    for f in "$out"/tiny/*; do zip -q -9 -j "$out/arc/$(basename "$f" .txt).ZIP" "$f"; done
}
export -f zip_loop
export out

# measure NAME COMMAND...: the medians of `runs` runs of COMMAND, each into a
# fresh output folder (fresh_folder, bench/timing.sh), kept under NAME.
declare -A cpu_s wall_s rss_k
fresh_arc() { fresh_folder "$out/arc"; }
# keep NAME CPU WALL RSS: figures kept under NAME.
keep() {
    cpu_s[$1]=$(printf '%.3f' "$2")
    wall_s[$1]=$(printf '%.3f' "$3")
    rss_k[$1]=$4
}
measure() {
    local name=$1 c w r
    shift
    read -r c w r < <(timed_runs "$runs" fresh_arc "$@")
    keep "$name" "$c" "$w" "$r"
}
# against NAME ARGS...: FileN with ARGS by the other build and by this one, in
# turns, so that both meet the file system in the same state; kept under
# NAME_base and NAME.
against() {
    local name=$1
    shift
    : >"$out/${name}_base.t"
    : >"$out/$name.t"
    for _ in $(seq "$runs"); do
        fresh_arc
        timed "$out/${name}_base.t" "$BENCH_BASELINE" --batch filen --out "$out/arc" "$@"
        fresh_arc
        timed "$out/$name.t" "$program" --batch filen --out "$out/arc" "$@"
    done
    medians "$out/${name}_base.t"
    keep "${name}_base" "$cpu" "$wall" "$rss"
    medians "$out/$name.t"
    keep "$name" "$cpu" "$wall" "$rss"
}
files=("$out"/tiny/*)
measure lzh "$program" --batch filen --out "$out/arc" "${files[@]}"
measure zip "$program" --batch filen --format zip --out "$out/arc" "${files[@]}"
measure loop bash -c zip_loop
mapfile -t headers < <(find /usr/include -type f -size -32k | sort | awk -F/ '!seen[$NF]++' | head -n 1000)
measure one "$program" --batch filen --jobs 1 --out "$out/arc" "${headers[@]}"
measure cores "$program" --batch filen --out "$out/arc" "${headers[@]}"
if [ -n "${BENCH_BASELINE:-}" ]; then
    against tiny "${files[@]}"
    against headers "${headers[@]}"
fi
rm -rf "$out/kept"

# One line of a table: label, measured key, and the ratio to the base figure.
row() {
    printf '%-34s %8s %8s %10s %10s\n' "$1" "${cpu_s[$2]}" "${wall_s[$2]}" "${rss_k[$2]}" \
        "$(awk -v a="$3" -v b="$4" 'BEGIN { printf "%.2f", a / b }')"
}
printf '%-34s %8s %8s %10s %10s\n' "1,000 tiny files, one archive each" cpu-s wall-s peak-KiB cpu/loop
row "dravonel2 --batch filen (LZH)" lzh "${cpu_s[lzh]}" "${cpu_s[loop]}"
row "dravonel2 --batch filen (ZIP)" zip "${cpu_s[zip]}" "${cpu_s[loop]}"
row "shell loop of zip -9" loop "${cpu_s[loop]}" "${cpu_s[loop]}"
printf '\n%-34s %8s %8s %10s %10s\n' "1,000 headers, one LZH each" cpu-s wall-s peak-KiB wall/one
row "--jobs 1" one "${wall_s[one]}" "${wall_s[one]}"
row "one per core ($(nproc) cores)" cores "${wall_s[cores]}" "${wall_s[one]}"
if [ -n "${BENCH_BASELINE:-}" ]; then
    printf '\n%-34s %8s %8s %10s %10s\n' "against $BENCH_BASELINE" cpu-s wall-s peak-KiB cpu/base
    row "the other build, tiny files (LZH)" tiny_base "${cpu_s[tiny_base]}" "${cpu_s[tiny_base]}"
    row "this build, tiny files (LZH)" tiny "${cpu_s[tiny]}" "${cpu_s[tiny_base]}"
    printf '%-34s %8s %8s %10s %10s\n' "" "" "" "" wall/base
    row "the other build, headers" headers_base "${wall_s[headers_base]}" "${wall_s[headers_base]}"
    row "this build, one per core" headers "${wall_s[headers]}" "${wall_s[headers_base]}"
fi
