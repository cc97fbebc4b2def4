#!/usr/bin/env bash
# The file managers' batch runs end with a desktop notification: on a session
# bus of its own, a listener that owns the freedesktop notification service
# records what the program sends; the log it names is kept.
set -u
program=$1
modules=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/cfg XDG_STATE_HOME=$work/state DRAVONEL2_SYSTEM_DIR=$modules TMPDIR=$work
mkdir -p "$work/cfg" "$work/in"
printf 'data\n' >"$work/in/a.txt"
printf 'more\n' >"$work/in/b.txt"
cat >"$work/listener.py" <<'PY'
import sys
import dbus, dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

DBusGMainLoop(set_as_default=True)

class Notifications(dbus.service.Object):
    @dbus.service.method("org.freedesktop.Notifications", in_signature="susssasa{sv}i",
                         out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        with open(sys.argv[1], "a") as out:
            out.write("%s|%s|%s|%s\n" % (app, hints.get("desktop-entry", ""), summary,
                                          body.replace("\n", "|")))
        return 1

bus = dbus.SessionBus()
name = dbus.service.BusName("org.freedesktop.Notifications", bus)
Notifications(bus, "/org/freedesktop/Notifications")
GLib.MainLoop().run()
PY
dbus-run-session -- bash -c '
    # The system Python, which has the D-Bus bindings setup.sh installs.
    /usr/bin/python3 "$0/listener.py" "$0/notes" & listener=$!
    for _ in $(seq 1 50); do
        gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
            --method org.freedesktop.DBus.NameHasOwner org.freedesktop.Notifications 2>/dev/null |
            grep -q true && break
        sleep 0.1
    done
    cd "$0/in"
    "$1" --batch filen --beside --notify -- a.txt b.txt >/dev/null 2>&1; echo $? >"$0/s1"
    "$1" --batch filen --beside --notify -- a.txt gone.txt >/dev/null 2>&1; echo $? >"$0/s2"
    "$1" --batch filen --beside --out x --notify -- a.txt >/dev/null 2>&1; echo $? >"$0/s3"
    kill $listener
' "$work" "$program"
passed=0 failed=0
check() { # description, then a command that must succeed
    local what=$1; shift
    if "$@" >/dev/null 2>&1; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; fi
}
note() { sed -n "${1}p" "$work/notes"; }
has() { note "$1" | grep -q -- "$2"; }
check "exit statuses 0, 1, 2 as without --notify" test "$(cat "$work/s1" "$work/s2" "$work/s3" | tr -d '\n')" = 012
check "one notification per run" test "$(wc -l <"$work/notes")" -eq 3
check "it names the desktop entry" test "$(note 1 | cut -d'|' -f1,2)" = "Dravonel2|io.github.korvath.Dravonel2"
check "success: two archives made" has 1 '圧縮ファイルを 2 個作りました'
check "a missing file: one made, one not" has 2 '1 個作りました.*1 個のファイルは圧縮できませんでした'
check "a refused command line says why" has 3 '--beside and --out'
check "the archives are beside the files" test -f "$work/in/A.TXT.LZH" -a -f "$work/in/B.TXT.LZH"
log=$(note 2 | sed -n 's/.*記録: \(.*\)$/\1/p')
check "the log is kept where the notification says" test "${log%/*}" = "$work/state/dravonel2"
check "the log names the missing file" grep -q "not archived: 'gone.txt'" "$log"
echo "notify: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
