#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR under /usr, as the Debian package does, and checks
# the tree as a desktop would read it: exactly the expected files; the desktop entry, the
# AppStream description and the file types valid; the icons of the named sizes; every man page
# rendering without a warning; the shell completion completing; and Help > Contents of the
# installed program opening the installed manual.
#
#   tests/package/check-install-tree.sh BUILD_FOLDER VERSION
set -euo pipefail

build=$(cd "${1:?build folder}" && pwd)
version=${2:?version}
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
stage=$(mktemp -d /tmp/tarvoline-install.XXXXXX)
trap 'rm -rf "$stage"' EXIT
failures=0
fail() {
    echo "package: FAILED: $*" >&2
    failures=$((failures + 1))
}

DESTDIR=$stage "${CMAKE:-cmake}" --install "$build" --prefix /usr > "$stage.log" 2>&1 ||
    { cat "$stage.log" >&2; rm -f "$stage.log"; echo "package: cmake --install failed" >&2; exit 1; }
rm -f "$stage.log"
root=$stage/usr

# Every file, and nothing else.
expected=$(sort <<'LIST'
bin/tarvoline
bin/tarvoline-cli
bin/vivaz-sim
share/applications/tarvoline.desktop
share/bash-completion/completions/tarvoline-cli
share/doc/tarvoline/changelog.gz
share/doc/tarvoline/copyright
share/doc/tarvoline/tarvoline.html
share/icons/hicolor/128x128/apps/tarvoline.png
share/icons/hicolor/16x16/apps/tarvoline.png
share/icons/hicolor/24x24/apps/tarvoline.png
share/icons/hicolor/256x256/apps/tarvoline.png
share/icons/hicolor/32x32/apps/tarvoline.png
share/icons/hicolor/48x48/apps/tarvoline.png
share/icons/hicolor/64x64/apps/tarvoline.png
share/icons/hicolor/scalable/apps/tarvoline.svg
share/man/man1/tarvoline-cli.1.gz
share/man/man1/tarvoline.1.gz
share/man/man1/vivaz-sim.1.gz
share/metainfo/works.hollowbrook.tarvoline.metainfo.xml
share/mime/packages/tarvoline.xml
LIST
)
actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort)
if [ "$actual" != "$expected" ]; then
    fail "the installed files differ from the list (< missing, > not expected):"
    diff <(echo "$expected") <(echo "$actual") | grep '^[<>]' >&2 || true
fi
for program in tarvoline tarvoline-cli vivaz-sim; do
    [ -x "$root/bin/$program" ] || fail "$program is not executable"
done

# The desktop entry.
desktop=$root/share/applications/tarvoline.desktop
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate failed"
[ -z "$out" ] || fail "desktop-file-validate: $out"
for line in 'Name=Tarvoline' 'GenericName=Serial Terminal' 'Exec=tarvoline %f' 'Icon=tarvoline' \
            'Terminal=false' 'Categories=Development;Electronics;' \
            'MimeType=application/x-tarvoline-run;application/x-tarvoline-app;'; do
    grep -qxF "$line" "$desktop" || fail "tarvoline.desktop has no line $line"
done
grep -q '^Comment=.' "$desktop" || fail "tarvoline.desktop has no Comment"

# The AppStream description: no error and no warning; its release is this version.
metainfo=$root/share/metainfo/works.hollowbrook.tarvoline.metainfo.xml
out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
if grep -q '^[EW]:' <<<"$out"; then fail "appstreamcli validate: $out"; fi
grep -q "<release version=\"$version\"" "$metainfo" || fail "the AppStream release is not $version"

# The file types: well-formed, compiled by update-mime-database without a complaint, and known
# by content alone: no glob of ours (a glob would make every script named *.run a load file),
# the 0x601A and 0x601B headers at offset 0 as magic, the old .APP type's name an alias.
mime=$root/share/mime/packages/tarvoline.xml
xmllint --noout "$mime" || fail "xmllint refuses tarvoline.xml"
mkdir -p "$stage/mime/packages"
cp "$mime" "$stage/mime/packages/"
out=$(XDG_DATA_DIRS=$stage update-mime-database "$stage/mime" 2>&1) || fail "update-mime-database failed"
[ -z "$out" ] || fail "update-mime-database: $out"
globs=$(grep tarvoline "$stage/mime/globs2" || true)
[ -z "$globs" ] || fail "a file type of ours is known by its name: $globs"
grep -qx 'application/x-tarvoline-app application/x-tarvoline-run' "$stage/mime/aliases" ||
    fail "application/x-tarvoline-app is not an alias of application/x-tarvoline-run"
# The compiled magic: the type's section holds 0x601A and 0x601B at offset 0.
section=$(LC_ALL=C awk 'index($0, ":application/x-tarvoline-run]") { on = 1; print; next }
                        /^\[/ { on = 0 } on' "$stage/mime/magic" | od -An -tx1 | tr -d ' \n')
for header in 601a 601b; do
    [[ $section == *"3e303d0002${header}"* ]] || fail "application/x-tarvoline-run has no magic $header at offset 0"
done
# What a desktop makes of files by that database and the system's (GIO, as file managers type
# files): a load file is ours under any name, a shell script named *.run stays a shell script.
if command -v gio > /dev/null; then
    files=$stage/typed
    mkdir -p "$files"
    { printf '\x60\x1a'; head -c 26 /dev/zero; } > "$files/prog.run"
    cp "$files/prog.run" "$files/PROG.RUN"
    { printf '\x60\x1b'; head -c 34 /dev/zero; } > "$files/split.APP"
    cp "$files/split.APP" "$files/split.app"
    printf '#!/bin/sh\necho "installing the driver"\n' > "$files/driver-setup.run"
    cp "$files/driver-setup.run" "$files/Installer.APP"
    printf 'not a load file\n' > "$files/NOTES.RUN"
    for expected in prog.run:application/x-tarvoline-run PROG.RUN:application/x-tarvoline-run \
                    split.APP:application/x-tarvoline-run split.app:application/x-tarvoline-run \
                    driver-setup.run:application/x-shellscript Installer.APP:application/x-shellscript \
                    NOTES.RUN:text/plain; do
        file=${expected%%:*} want=${expected#*:}
        got=$(XDG_DATA_HOME=$stage XDG_DATA_DIRS=/usr/local/share:/usr/share \
              gio info -a standard::content-type "$files/$file" 2>&1 | sed -n 's/^ *standard::content-type: //p')
        [ "$got" = "$want" ] || fail "$file is typed \"$got\", not $want"
    done
else
    fail "gio is needed to type files by the installed database (make test installs libglib2.0-bin)"
fi

# Icons: the PNG sizes their folders name, and the scalable one.
for size in 16 24 32 48 64 128 256; do
    png=$root/share/icons/hicolor/${size}x${size}/apps/tarvoline.png
    [ -f "$png" ] || continue
    dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')
    [ "$dims" = "${size}x${size}" ] || fail "tarvoline.png in ${size}x${size} is $dims"
done
xmllint --noout "$root/share/icons/hicolor/scalable/apps/tarvoline.svg" || fail "tarvoline.svg is not XML"

# Man pages: they render without a warning, they name this version, and every option that the
# programs list in their help has its entry in the program's page.
for page in tarvoline tarvoline-cli vivaz-sim; do
    file=$root/share/man/man1/$page.1.gz
    [ -f "$file" ] || continue
    out=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$file" 2>&1 >/dev/null) || fail "man -l $page.1 failed"
    [ -z "$out" ] || fail "man -l $page.1: $out"
    zcat "$file" | grep -q "^\.TH .*\"Tarvoline $version\"" || fail "$page.1 does not name version $version"
done
rendered() { MANWIDTH=200 LC_ALL=C.UTF-8 man -l "$root/share/man/man1/$1.1.gz" 2>/dev/null; }
for program in tarvoline vivaz-sim; do
    page=$(rendered "$program")
    options=$(QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$stage "$root/bin/$program" --help 2>/dev/null |
              grep -oE '(^|[ ,])--[a-z][a-z-]*' | tr -d ' ,' | sort -u)
    [ -n "$options" ] || fail "$program --help listed no options"
    for option in $options; do
        grep -qe "$option" <<<"$page" || fail "$program.1 does not document $option"
    done
done
page=$(rendered tarvoline-cli)
for command in $("$root/bin/tarvoline-cli" --help | awk '/^Commands:/ { on = 1; next } on && /^  [a-z]/ { print $1 }'); do
    grep -qE "^ +$command( |$)" <<<"$page" || fail "tarvoline-cli.1 does not document the command $command"
    for option in $("$root/bin/tarvoline-cli" "$command" --help 2>&1 | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
        grep -qe "$option" <<<"$page" || fail "tarvoline-cli.1 does not document $command $option"
    done
done

# The shell completion: it parses, and completes the commands and a command's files.
completion=$root/share/bash-completion/completions/tarvoline-cli
bash -n "$completion" || fail "the bash completion does not parse"
if [ -f /usr/share/bash-completion/bash_completion ]; then
    mkdir -p "$stage/files" && touch "$stage/files/prog.Bin" "$stage/files/notes.txt"
    out=$(cd "$stage/files" && bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$1"
        complete_words() {
            COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
            COMPREPLY=()
            _tarvoline_cli tarvoline-cli "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"
            echo "${COMPREPLY[*]}"
        }
        complete_words tarvoline-cli post
        complete_words tarvoline-cli postlink ""
        complete_words tarvoline-cli load --baud 1152' _ "$completion" 2>&1)
    [ "$out" = $'postlink postlink-load\nprog.Bin\n115200' ] ||
        fail "the bash completion completed: $out"
fi

# Help > Contents of the installed program opens the installed manual.
if command -v xvfb-run > /dev/null && command -v xdotool > /dev/null; then
    xvfb-run -a "$source_dir/tools/help-opens-manual.sh" "$root/bin/tarvoline" \
        "$root/share/doc/tarvoline/tarvoline.html" || fail "Help > Contents did not open the installed manual"
else
    fail "xvfb-run and xdotool are needed to check Help > Contents (make test installs them)"
fi

if [ $failures -gt 0 ]; then
    echo "package: $failures check(s) failed" >&2
    exit 1
fi
echo "package: the installed tree is complete and valid"
