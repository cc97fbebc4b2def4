#!/usr/bin/env bash
# Makes the README's screenshot: the main window after a FileN run over a few
# files, on a virtual display (Xvfb), with settings in a temporary folder.
#   bash scripts/screenshot.sh [OUT.png]      (default docs/images/main-window.png)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/docs/images/main-window.png}"
bash "$root/scripts/setup.sh"
if ! command -v xdotool >/dev/null || ! command -v import >/dev/null; then
    apt-get install -y -qq xdotool imagemagick >/dev/null
fi
[ -x "$root/build/bin/dravonel2" ] || bash "$root/scripts/build.sh"
work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
export DISPLAY=$display XDG_CONFIG_HOME=$work/cfg TMPDIR=$work
# On the virtual X display even from a Wayland session, where the program
# would otherwise pick Wayland.
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
mkdir -p "$work/cfg" "$work/in" "$work/out"
cp /usr/share/common-licenses/{GPL-3,Apache-2.0,MIT,BSD} "$work/in/" 2>/dev/null || true
cat >"$work/cfg/Korvath's Soft.ini" <<INI
[Dravonel2]
Main_Left=300
Main_Top=300
Main_Width=13500
Main_Height=9600
Dir_In=$work/in
OldDir_Out=$work/out
Dir_Out=$work/out
INI
cd "$work/in"
"$root/build/bin/dravonel2" "$work"/in/* &
app=$!
sleep 2
xdotool search --name 'Dravonel2 for Win32' windowactivate --sync 2>/dev/null || true
# FileN圧縮 through its access path: click the fourth mode button.
win=$(xdotool search --name 'Dravonel2 for Win32' | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + 340)) $((Y + 40)) click 1
sleep 2
import -window root -crop "$((WIDTH + 4))x$((HEIGHT + 4))+$((X - 2))+$((Y - 2))" "$out"
kill -TERM $app
wait $app || true
echo "wrote $out"
