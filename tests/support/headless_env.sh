# Sourced by the shell tests of the program without a display: a scratch
# folder $work, removed at exit (made writable again first), that holds the
# settings (cfg) and the temporary folder (tmp); no display to reach.
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/cfg TMPDIR=$work/tmp
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$work/cfg" "$work/tmp"
