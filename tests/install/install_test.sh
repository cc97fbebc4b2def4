#!/usr/bin/env bash
# Installs the build under a fresh prefix and uses the installed program from
# another folder: the modules are found beside it, the desktop entry is valid.
set -eu
build=$1
prefix=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$prefix" "$work"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
unset DRAVONEL2_SYSTEM_DIR DISPLAY WAYLAND_DISPLAY
export XDG_CONFIG_HOME=$work/cfg TMPDIR=$work
cd "$work"
printf 'data\n' >a.txt
mkdir out
"$prefix/bin/dravonel2" --batch filen --out out a.txt >/dev/null
test -f out/A.TXT.LZH
desktop-file-validate "$prefix/share/applications/dravonel2.desktop"
test -f "$prefix/share/doc/dravonel2/help.html"
test -f "$prefix/share/icons/hicolor/64x64/apps/dravonel2.png"
echo "install: 1 passed, 0 failed"
