#!/usr/bin/env bash
# Installs the dependencies, builds the program and its archiver modules, and
# starts it on the current display.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "dravonel2: no display (DISPLAY and WAYLAND_DISPLAY are unset); run it on a desktop or under Xvfb" >&2
    exit 1
fi
bash scripts/setup.sh
bash scripts/build.sh dravonel2 unlha32 zip32j izip32j unzip32
exec build/bin/dravonel2 "$@"
