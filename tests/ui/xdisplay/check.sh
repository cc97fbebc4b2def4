#!/bin/bash
# Real-display check of the panes' drag and drop and of one whole session, on
# a private Xvfb display without a window manager: files dragged in from a
# peer program land on the target list (as a copy, though the peer proposes a
# move), all files of the input folder are added, the output folder is chosen
# by keyboard, "FileN圧縮" runs, and the archives dragged out of the output
# pane arrive at a peer as file URLs.
# Screenshots go to $OUT (default /tmp/dravonel2-xcheck). Needs Xvfb, xdotool
# and ImageMagick's import; the display number must be free.
#   usage: tests/ui/xdisplay/check.sh BUILD_DIR [DISPLAY_NUMBER]
set -euo pipefail
BUILD=$(realpath "${1:?build folder}")
NUM=${2:-98}
OUT=${OUT:-/tmp/dravonel2-xcheck}
export DISPLAY=:$NUM
# The program and its peer on this X display, even from a Wayland session.
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
if [ -e "/tmp/.X11-unix/X$NUM" ]; then
    echo "display :$NUM is in use; name a free one" >&2
    exit 2
fi

rm -rf "$OUT"
mkdir -p "$OUT/cfg" "$OUT/in/sub" "$OUT/out" "$OUT/drop"
for f in alpha.txt beta.txt gamma.doc; do echo "hello $f" >"$OUT/in/$f"; done
echo inner >"$OUT/in/sub/inner.txt"
for f in d1.txt d2.txt d3.txt; do echo "$f" >"$OUT/drop/$f"; done

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

Xvfb "$DISPLAY" -screen 0 1280x800x24 >"$OUT/xvfb.log" 2>&1 &
pids+=($!)
sleep 1
(cd "$OUT/in" && exec env XDG_CONFIG_HOME="$OUT/cfg" \
    DRAVONEL2_SYSTEM_DIR="$BUILD/tests/fakes/complete" "$BUILD/bin/dravonel2") \
    >"$OUT/app.log" 2>&1 &
pids+=($!)
sleep 3
shot() { import -window root "$OUT/$1.png"; }
shot 1-start

# A drag from the peer onto the target list (the pane at the lower left); the
# peer proposes a move, which the list must turn into a copy.
"$BUILD/bin/dnd_helper" source "$OUT/drop/d1.txt" "$OUT/drop/d2.txt" "$OUT/drop/d3.txt" \
    "$OUT/drop" >"$OUT/source.log" 2>&1 &
pids+=($!)
sleep 1.5
xdotool windowmove "$(xdotool search --name '^source$' | head -1)" 800 100
sleep 0.5
xdotool mousemove 900 170 mousedown 1
for p in "850 200" "700 300" "400 450" "250 480" "200 485"; do xdotool mousemove $p; sleep 0.2; done
xdotool mouseup 1
sleep 1
shot 2-dropped

# btnAddAll, then the output folder: a click on its tree's current entry ("in"),
# Backspace to the parent, four entries down to "out", Enter; then FileN圧縮.
xdotool mousemove 138 396 click 1
sleep 0.5
xdotool mousemove 600 192 click 1
sleep 0.3
xdotool key BackSpace
sleep 0.5
xdotool key Down Down Down Down Return
sleep 0.5
xdotool mousemove 407 106 click 1
sleep 2
shot 3-run

# Select the first three archives and drag them to the peer.
"$BUILD/bin/dnd_helper" target >"$OUT/target.log" 2>&1 &
pids+=($!)
sleep 1.5
xdotool windowmove "$(xdotool search --name '^target$' | head -1)" 800 400
sleep 0.5
xdotool mousemove 430 460 click 1
xdotool keydown shift mousemove 430 492 click 1 keyup shift
sleep 0.3
xdotool mousemove 430 476 mousedown 1
for p in "450 480" "500 480" "700 470" "850 470" "900 475"; do xdotool mousemove $p; sleep 0.2; done
xdotool mouseup 1
sleep 1
shot 4-dragged-out
echo "--- dropped on the peer:"
grep -v XDG_RUNTIME "$OUT/target.log" || true
echo "--- the peer's drag onto the target list ended in (1 copy, 2 move; must be 1):"
grep "drag ended" "$OUT/source.log" || true
echo "--- archives in the output folder chosen by keyboard:"
ls "$OUT/out"
test -n "$(ls "$OUT/out")"
