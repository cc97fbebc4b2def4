#!/usr/bin/env bash
# Installs the build as a package does (DESTDIR, prefix /usr) and checks what
# the desktop gets from it: the program works from another folder; the desktop
# entry, the job-file type, the software-centre description and the manual
# page are valid; job files are known by name and by content; every
# file-manager action archives the files it is given; and the Debian package
# made from the build folder holds all of it.
set -u
build=$1
root=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$root" "$work"' EXIT
passed=0 failed=0
check() { # description, then a command that must succeed
    local what=$1; shift
    if "$@" >/dev/null 2>&1; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; fi
}
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null || { echo "FAIL: install"; exit 1; }
id=io.github.korvath.Dravonel2
share=$root/usr/share
unset DRAVONEL2_SYSTEM_DIR DISPLAY WAYLAND_DISPLAY
export XDG_CONFIG_HOME=$work/cfg XDG_STATE_HOME=$work/state TMPDIR=$work
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus

mkdir "$work/out" && printf 'data\n' >"$work/a.txt"
check "the installed program finds its modules" sh -c "cd '$work' && '$root/usr/bin/dravonel2' --batch filen --out out a.txt && test -f out/A.TXT.LZH"
check "help page installed" test -f "$share/doc/dravonel2/help.html"

check "desktop entry valid" desktop-file-validate "$share/applications/$id.desktop"
check "desktop entry claims only the job type" grep -qx 'MimeType=application/x-dravonel2-job;' "$share/applications/$id.desktop"
check "job type well-formed" xmllint --noout "$share/mime/packages/$id.xml"
XDG_DATA_HOME=$work/none XDG_DATA_DIRS=$share:/usr/share update-mime-database "$share/mime" >"$work/mime.txt" 2>&1
check "update-mime-database takes it without a word" test ! -s "$work/mime.txt"
check "job files are text" grep -qx 'application/x-dravonel2-job text/plain' "$share/mime/subclasses"
mime_of() {
    XDG_DATA_HOME=$work/none XDG_DATA_DIRS=$share:/usr/share gio info -a standard::content-type "$1" |
        sed -n 's/^ *standard::content-type: //p'
}
# A job file of the older layout (no header line) is known only by its name;
# one with the header by its content, whatever its name.
printf '/in\r\n/out\r\nx\r\n/in/a.txt\r\n' >"$work/x.DVF"
printf 'Dravonel2 DVF FILE\r\nINDIR=/in\r\nOUTDIR=/out\r\nFILENAME=x\r\n/in/a.txt\r\n' >"$work/renamed"
printf 'just text\n' >"$work/plain.dvf.txt"
check "x.DVF is a job file by its name" test "$(mime_of "$work/x.DVF")" = application/x-dravonel2-job
check "a renamed job file is one by its header" test "$(mime_of "$work/renamed")" = application/x-dravonel2-job
check "other text is not" test "$(mime_of "$work/plain.dvf.txt")" = text/plain

for size in 16 22 24 32 48 64 128 256; do
    check "${size}px icon" sh -c "file '$share/icons/hicolor/${size}x${size}/apps/$id.png' | grep -q '$size x $size'"
done
check "scalable icon" xmllint --noout "$share/icons/hicolor/scalable/apps/$id.svg"
check "metainfo valid" appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml"
check "manual page renders without a warning" test -z "$(MANWIDTH=80 man --warnings -l "$share/man/man1/dravonel2.1" 2>&1 >/dev/null)"
check "manual page has every batch option" sh -c "for o in out beside name method pattern format update no-upper hidden tmp notify; do
    MANWIDTH=80 man -l '$share/man/man1/dravonel2.1' 2>/dev/null | grep -q -- \"--\$o\" || exit 1; done"

# Each action of the desktop entry and of the Dolphin service menu, and each
# Nautilus script, run on two files of a folder of its own: exit 0 and sound
# archives beside the files.
n=0
act() { # folder, then the command
    local dir=$1; shift
    (cd "$dir" && PATH=$root/usr/bin:$PATH "$@") && ls "$dir"/*.LZH >/dev/null && lhasa t "$dir"/*.LZH
}
# Each action's command with the files in place of %F (paths) or %U (URIs),
# or a script with the files as its arguments.
words_of() { # command, then the files
    local command=$1 f; shift
    if [ -x "$command" ]; then words=("$command" "$@"); return; fi
    read -r -a words <<<"${command% %[FU]}"
    for f in "$@"; do
        case $command in
        *%U) words+=("$(python3 -c 'import sys, pathlib; print(pathlib.Path(sys.argv[1]).as_uri())' "$f")") ;;
        *) words+=("$f") ;;
        esac
    done
}
compress_actions() {
    for entry in "$share/applications/$id.desktop" "$share/kio/servicemenus/$id.desktop" "$share/nemo/actions/"*.nemo_action; do
        sed -n 's/^Exec=\(.*--batch.*\)$/\1/p' "$entry"
    done
    grep -l -- '--batch' "$share/dravonel2/nautilus-scripts/"*
}
while IFS= read -r command; do
    n=$((n + 1)) && mkdir "$work/act$n" && printf 'one\n' >"$work/act$n/one.txt" && printf 'two\n' >"$work/act$n/two.txt"
    words_of "$command" "$work/act$n/one.txt" "$work/act$n/two.txt"
    [ -x "$command" ] && words=("$command" one.txt two.txt)
    check "action $n ($command)" act "$work/act$n" "${words[@]}"
done < <(compress_actions)
check "sixteen compress actions: four modes in four places" test "$n" -eq 16
v=0
while IFS= read -r command; do
    if [ -x "$command" ]; then grep -q -- --verify "$command" && v=$((v + 1)); else case $command in *--verify*) v=$((v + 1)) ;; esac; fi
done < <(compress_actions)
check "every compress action verifies" test "$v" -eq 16

# The archive actions: extract beside the archive, test it; a ZIP of two
# files under a name with a blank and a quote.
read_actions() {
    for entry in "$share/kio/servicemenus/$id.extract.desktop" "$share/nemo/actions/"*.nemo_action; do
        sed -n 's/^Exec=\(.*--\(extract\|test\).*\)$/\1/p' "$entry"
    done
    grep -l -- '--extract\|--test' "$share/dravonel2/nautilus-scripts/"*
}
r=0
while IFS= read -r command; do
    r=$((r + 1)) && mkdir "$work/read$r"
    a="$work/read$r/my \"mail\".zip"
    python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1], "w"); z.writestr("a.txt", "a\n"); z.writestr("b.txt", "b\n")' "$a"
    words_of "$command" "$a"
    check "read action $r ($command)" sh -c 'cd / && PATH=$0:$PATH "$@"' "$root/usr/bin" "${words[@]}"
    case $command in
    *extract*) check "read action $r extracts beside the archive" test "$(cat "$work/read$r/my \"mail\"/b.txt")" = b ;;
    esac
done < <(read_actions)
check "six archive actions: extract and test in three places" test "$r" -eq 6
for entry in "$share/nemo/actions/"*.nemo_action; do
    check "$(basename "$entry") has what Nemo needs" sh -c "grep -q '^\[Nemo Action\]' '$entry' && grep -q '^Name=' '$entry' && grep -q '^Exec=dravonel2 ' '$entry' && grep -q '^\(Extensions\|Mimetypes\)=' '$entry'"
done
check "the archive menus offer LZH and ZIP" grep -qx 'MimeType=application/x-lzh-compressed;application/x-lha;application/zip;' "$share/kio/servicemenus/$id.extract.desktop"

# The package, from the build folder as it is.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.txt" 2>&1 || cat "$work/cpack.txt"
deb=$(ls "$work/pkg/"*.deb 2>/dev/null | head -n 1)
check "cpack made a package" test -n "$deb"
dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents.txt"
for f in bin/dravonel2 lib/dravonel2/libunlha32.so lib/dravonel2/libzip32j.so lib/dravonel2/libizip32j.so \
    lib/dravonel2/libunzip32.so share/applications/$id.desktop share/mime/packages/$id.xml \
    share/metainfo/$id.metainfo.xml share/man/man1/dravonel2.1 share/doc/dravonel2/help.html \
    share/icons/hicolor/scalable/apps/$id.svg share/kio/servicemenus/$id.desktop \
    share/kio/servicemenus/$id.extract.desktop share/nemo/actions/$id.extract.nemo_action; do
    check "package holds $f" grep -qx "./usr/$f" "$work/contents.txt"
done
check "depends on the Qt libraries it links" sh -c "dpkg-deb -f '$deb' Depends | grep -q libqt6widgets6"
check "recommends the Wayland platform" sh -c "dpkg-deb -f '$deb' Recommends | grep -q qt6-wayland"
mkdir "$work/x" && dpkg-deb -x "$deb" "$work/x"
check "the program in it is stripped" sh -c "file '$work/x/usr/bin/dravonel2' | grep -q ', stripped'"

echo "install: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
