#!/usr/bin/env bash
# Configures and builds the project into ./build (two jobs: the machines have two cores).
#   bash scripts/build.sh [TARGET...]      (default: everything)
set -euo pipefail
cd "$(dirname "$0")/.."
args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
# Where the message list the tables were generated from is at hand (the shared
# documents beside the project), a test checks the tables against it.
list=$(grep -l -F '**Table `resDravonel`' ../shared/*.md 2>/dev/null | head -n 1 || true)
[ -n "$list" ] && args+=("-DDRAVONEL2_MESSAGE_LIST=$(realpath "$list")")
cmake -S . -B build "${args[@]}" >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build build -j2 "${targets[@]}"
