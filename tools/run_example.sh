#!/bin/sh
# `make run`: the command-line program opens the bundled example sound as a project, writes
# its picture as PNG and TIFF and renders the picture back to sound in each synthesis mode;
# then the desktop program opens the example in its window. Without a display the window
# cannot open: one line says so and a headless run of the program shows what it would draw.
set -e
dir=${1:-build}
cli="$dir/sonographica-cli"
"$cli" --version
echo "Evaluating the number notation: '1;6 + 2^3^2' ->"
"$cli" --eval '1;6 + 2^3^2'

example="$dir/example/example.wav"
if [ ! -f "$example" ]; then
    echo "The example sound $example is missing: build the target example_sound first." >&2
    exit 1
fi
out="$dir/example/pictures"
mkdir -p "$out"
out=$(cd "$out" && pwd)
sound=$(cd "$(dirname "$example")" && pwd)/$(basename "$example")
echo "Opening the example sound $sound:"
rm -f "$out/example.png" "$out/example.tif"
"$cli" -e "Open \"$sound\"" -e "Save \"$out/example.png\"" -e "Save \"$out/example.tif\""
if [ ! -f "$out/example.png" ] || [ ! -f "$out/example.tif" ]; then
    echo "The example's picture was not written; the messages above say why." >&2
    exit 1
fi
echo "Its picture is in $out: example.png (for viewing) and example.tif (32-bit float, linear)."

sounds="$dir/example/sounds"
mkdir -p "$sounds"
sounds=$(cd "$sounds" && pwd)
rm -f "$sounds/lossless.wav" "$sounds/live.wav" "$sounds/noise.wav"
echo "Rendering the example's picture back to sound in each synthesis mode:"
for mode in lossless live noise; do
    "$cli" --synthesis $mode -e "Open \"$sound\"" -e "Save \"$sounds/$mode.wav\""
done
for f in lossless live noise; do
    if [ ! -f "$sounds/$f.wav" ]; then
        echo "The $f rendering was not written; the messages above say why." >&2
        exit 1
    fi
done
echo "Its sound, rendered from the picture, is in $sounds: lossless.wav (the original back),"
echo "live.wav (as heard while painting) and noise.wav (each row as band-limited noise)."

app="$dir/sonographica"
if [ -n "$WAYLAND_DISPLAY" ] || { [ -n "$DISPLAY" ] && xdpyinfo >/dev/null 2>&1; }; then
    echo "Opening the example in the editor's window (close it, or Alt+F4, to end)."
    exec "$app" "$sound"
fi
echo "No display is available, so the editor's window cannot open here; running it headless instead."
shot="$dir/example/window.png"
SDL_VIDEODRIVER=offscreen SONOGRAPHICA_WINDOW_SIZE=1920x1080 SONOGRAPHICA_EXIT_AFTER_FRAMES=10 \
    SONOGRAPHICA_SCREENSHOT="$shot" "$app" "$sound"
if [ ! -f "$shot" ]; then
    echo "The headless window was not drawn; the messages above say why." >&2
    exit 1
fi
echo "What the window shows is in $shot."
