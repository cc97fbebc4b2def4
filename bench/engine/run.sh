#!/usr/bin/env bash
# AutoRun in the FileN mode over 1,000 small headers from /usr/include:
# the run's own time per archive beside the time spent in the LHA module.
#   bash bench/engine/run.sh [build-dir]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
out="$root/bench/out/engine"
# The last run's archives are moved aside and deleted only after this run:
# ext4 avoids reusing the inodes of files deleted in the last minute, which
# would make this run's file creation cost more, differently every time.
rm -rf "$out.old"
[ ! -d "$out" ] || mv "$out" "$out.old"
mkdir -p "$out"
mapfile -t files < <(find /usr/include -type f -size -32k | sort | head -n 1000)
echo "files: ${#files[@]}"
"$build/bin/bench_run" "$build/bin" "$out" "${files[@]}"
rm -rf "$out.old"
