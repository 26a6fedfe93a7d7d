#!/bin/sh
# Draws the editor's window on the bundled example headless and writes it as a PNG.
set -e
dir=${1:-build}
out=${2:-docs/screenshot.png}
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
sound=$(cd "$dir/example" && pwd)/example.wav
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy SONOGRAPHICA_DATA_DIR="$data" \
    SONOGRAPHICA_WINDOW_SIZE=1600x900 SONOGRAPHICA_EXIT_AFTER_FRAMES=10 \
    SONOGRAPHICA_SCREENSHOT="$out" "$dir/sonographica" "$sound" >/dev/null
echo "Wrote $out"
