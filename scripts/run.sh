#!/usr/bin/env bash
# Installs the dependencies, builds, and starts the program on the current display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "dravonel2: no display (DISPLAY and WAYLAND_DISPLAY are unset); run it on a desktop or under Xvfb" >&2
    exit 1
fi
exec build/app/dravonel2 "$@"
