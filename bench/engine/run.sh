#!/usr/bin/env bash
# AutoRun in the FileN mode over 1,000 small headers from /usr/include:
# the run's own time per archive beside the time spent in the LHA module.
#   bash bench/engine/run.sh [build-dir]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
out="$root/bench/out/engine"
rm -rf "$out" && mkdir -p "$out"
mapfile -t files < <(find /usr/include -type f -size -32k | sort | head -n 1000)
echo "files: ${#files[@]}"
"$build/bin/bench_run" "$build/bin" "$out" "${files[@]}"
