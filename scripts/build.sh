#!/usr/bin/env bash
# Configures and builds the project into ./build (two jobs: the machines have two cores).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
