#!/bin/sh
# Installs the build into a temporary DESTDIR and runs what was installed: both programs, the
# editor headless with its pictures found under share/, the validators of the desktop files,
# and the man page against the command line's --help.
set -u
build=$1
src=$2
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null || fail "cmake --install"
bin="$dest/usr/bin"
share="$dest/usr/share"
for f in "$bin/sonographica" "$bin/sonographica-cli" "$share/sonographica/gfx/palette.png" \
         "$share/sonographica/gfx/font/font16.png" "$share/applications/sonographica.desktop" \
         "$share/icons/hicolor/48x48/apps/sonographica.png" "$share/icons/hicolor/256x256/apps/sonographica.png" \
         "$share/icons/hicolor/scalable/apps/sonographica.svg" "$share/mime/packages/sonographica.xml" \
         "$share/metainfo/io.sonographica.Sonographica.metainfo.xml" "$share/man/man1/sonographica.1" \
         "$share/man/man1/sonographica-cli.1"; do
    [ -f "$f" ] || fail "not installed: ${f#$dest}"
done

"$bin/sonographica-cli" --version | grep -q "Sonographica 1" || fail "installed sonographica-cli --version"

# The installed editor runs headless and finds its pictures under share/.
data=$(mktemp -d)
out=$(SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy SONOGRAPHICA_DATA_DIR="$data" \
      SONOGRAPHICA_EXIT_AFTER_FRAMES=2 SONOGRAPHICA_SCREENSHOT="$data/shot.png" "$bin/sonographica" 2>&1)
status=$?
[ $status -eq 0 ] || fail "installed sonographica exited $status: $out"
echo "$out" | grep -q "File not found" && fail "installed sonographica misses pictures: $out"
[ -f "$data/shot.png" ] || fail "installed sonographica drew nothing"

# The manual found: the installed editor finds the user guide under share/ (it says so at
# start-up when it does not, which the same run without the guide shows).
guide="$share/sonographica/Sonographica User Guide.pdf"
if [ -f "$build/Sonographica User Guide.pdf" ]; then
    [ -f "$guide" ] || fail "not installed: ${guide#$dest}"
    echo "$out" | grep -q "user guide is missing" && fail "installed sonographica misses the user guide: $out"
    mv "$guide" "$guide.away"
    out=$(SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy SONOGRAPHICA_DATA_DIR="$data" \
          SONOGRAPHICA_EXIT_AFTER_FRAMES=1 "$bin/sonographica" 2>&1)
    mv "$guide.away" "$guide"
    echo "$out" | grep -q "user guide is missing.*share/sonographica/Sonographica User Guide.pdf" ||
        fail "installed sonographica does not say that the user guide is missing: $out"
else
    echo "the user guide was not built (no groff): not checked"
fi
rm -rf "$data"

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$share/applications/sonographica.desktop" || fail "desktop-file-validate"
else
    echo "desktop-file-validate is not installed: skipped"
fi
if command -v appstream-util >/dev/null; then
    appstream-util validate-relax --nonet "$share/metainfo/io.sonographica.Sonographica.metainfo.xml" >/dev/null ||
        { appstream-util validate-relax --nonet "$share/metainfo/io.sonographica.Sonographica.metainfo.xml"; fail "appstream-util"; }
else
    echo "appstream-util is not installed: skipped"
fi

# Every option of the command line's help is in its man page, and the other way round.
help_opts=$("$bin/sonographica-cli" --help | grep -oE '(^| )--?[a-z][a-z-]*' | tr -d ' ' | sort -u)
man_opts=$(sed 's/\\-/-/g' "$share/man/man1/sonographica-cli.1" | grep -E '^\.(TP|B|BI)|^\.B' |
           grep -oE '(^| )--?[a-z][a-z-]*' | tr -d ' ' | sort -u)
[ "$help_opts" = "$man_opts" ] || fail "--help and the man page differ: help: $(echo $help_opts) man: $(echo $man_opts)"
echo "install: everything installed, ran and validated"
