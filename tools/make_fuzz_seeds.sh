#!/bin/sh
# Writes the seed files of the reader fuzz harnesses into fuzz/corpus/<harness>: short tones
# and small pictures, a few KB at most. Needs sox, flac, lame, oggenc, opusenc and ImageMagick;
# the OpenEXR seeds are written by the command-line program (CLI, default
# build/sonographica-cli) and skipped when it is not built.
set -e
cd "$(dirname "$0")/.."
out=fuzz/corpus
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p $out/wav $out/aiff $out/mp3 $out/flac $out/ogg $out/sndfile $out/opus
mkdir -p $out/png $out/jpeg $out/gif $out/webp $out/exr $out/stb


# WAV: G.711 in both laws.
sox -n -r 8000 -c 1 -e a-law $out/wav/alaw.wav synth 0.05 sine 440
sox -n -r 8000 -c 1 -e u-law $out/wav/ulaw.wav synth 0.05 sine 440

# WAV: every integer depth, float, stereo, and the extensible header sox uses for 24 bits.
sox -n -r 8000 -c 1 -b 8 $out/wav/pcm8.wav synth 0.05 sine 440
sox -n -r 8000 -c 2 -b 16 $out/wav/pcm16_stereo.wav synth 0.05 sine 440 sine 660
sox -n -r 8000 -c 1 -b 24 $out/wav/pcm24.wav synth 0.05 sine 440
sox -n -r 8000 -c 1 -b 32 $out/wav/pcm32.wav synth 0.05 sine 440
sox -n -r 8000 -c 1 -e floating-point -b 32 $out/wav/float32.wav synth 0.05 sine 440
sox -n -r 8000 -c 1 -e floating-point -b 64 $out/wav/float64.wav synth 0.02 sine 440
sox -n -r 8000 -c 3 -b 16 $out/wav/three_channels.wav synth 0.02 sine 440 sine 550 sine 660

# AIFF and AIFF-C.
sox -n -r 8000 -c 1 -b 8 $out/aiff/pcm8.aif synth 0.05 sine 440
sox -n -r 8000 -c 2 -b 16 $out/aiff/pcm16_stereo.aiff synth 0.05 sine 440 sine 660
sox -n -r 8000 -c 1 -b 24 $out/aiff/pcm24.aif synth 0.05 sine 440
sox -n -r 8000 -c 1 -b 16 $out/aiff/none16.aifc synth 0.05 sine 440
sox -n -r 8000 -c 1 -e floating-point -b 32 $out/aiff/fl32.aifc synth 0.05 sine 440
sox -n -r 8000 -c 1 -e floating-point -b 64 $out/aiff/fl64.aifc synth 0.02 sine 440
# "sowt": the none16 file with its compression type renamed and its samples byte-swapped.
sox $out/aiff/none16.aifc -t raw -L "$tmp/le.raw"
header=$(($(wc -c < $out/aiff/none16.aifc) - $(wc -c < "$tmp/le.raw")))
head -c $header $out/aiff/none16.aifc | sed 's/NONE/sowt/' > $out/aiff/sowt16.aifc
cat "$tmp/le.raw" >> $out/aiff/sowt16.aifc

# The codecs, from one short stereo tone.
sox -n -r 22050 -c 2 -b 16 "$tmp/in.wav" synth 0.1 sine 440 sine 660
sox -n -r 8000 -c 1 -b 16 "$tmp/mono.wav" synth 0.1 sine 440
flac -s -f --no-padding -o $out/flac/stereo.flac "$tmp/in.wav"
flac -s -f --no-padding -o $out/flac/mono.flac "$tmp/mono.wav"
lame --quiet -b 32 "$tmp/in.wav" $out/mp3/stereo.mp3
lame --quiet -b 8 "$tmp/mono.wav" $out/mp3/mono.mp3
oggenc -Q -q 0 -o $out/ogg/stereo.ogg "$tmp/in.wav"
oggenc -Q -q 0 -o $out/ogg/mono.ogg "$tmp/mono.wav"
# What libsndfile reads: ADPCM and GSM WAV, AU, CAF, Wave64, VOC, IRCAM.
sox -n -r 8000 -c 1 -e ima-adpcm $out/sndfile/ima.wav synth 0.05 sine 440
sox -n -r 8000 -c 2 -e ms-adpcm $out/sndfile/ms.wav synth 0.05 sine 440 sine 660
sox -n -r 8000 -c 1 -e gsm-full-rate $out/sndfile/gsm.wav synth 0.1 sine 440
sox -n -r 8000 -c 1 -e u-law $out/sndfile/ulaw.au synth 0.05 sine 440
sox -n -r 8000 -c 2 -b 16 $out/sndfile/pcm16.caf synth 0.02 sine 440 sine 660
sox -n -r 8000 -c 1 -b 24 $out/sndfile/pcm24.w64 synth 0.02 sine 440
sox -n -r 8000 -c 1 -b 16 $out/sndfile/pcm16.voc synth 0.02 sine 440
sox -n -r 8000 -c 1 -e floating-point -b 32 $out/sndfile/float.sf synth 0.02 sine 440
opusenc --quiet --bitrate 16 "$tmp/mono.wav" $out/opus/mono.opus
opusenc --quiet --bitrate 32 "$tmp/in.wav" $out/opus/stereo.opus

# Pictures: a small gradient with a transparent corner, in every format with a decoder.
convert -size 24x16 gradient:red-blue \( -size 24x16 gradient:white-none \) -compose copy_opacity -composite "$tmp/p.png"
convert "$tmp/p.png" $out/png/rgba.png
convert "$tmp/p.png" -colors 8 PNG8:$out/png/palette.png
convert "$tmp/p.png" -interlace PNG -depth 16 $out/png/adam7_16.png
convert "$tmp/p.png" -colorspace Gray -alpha off $out/png/grey.png
convert "$tmp/p.png" -quality 80 $out/jpeg/baseline.jpg
convert "$tmp/p.png" -interlace JPEG -quality 60 $out/jpeg/progressive.jpg
convert "$tmp/p.png" -colorspace Gray $out/jpeg/grey.jpg
convert "$tmp/p.png" $out/gif/transparent.gif
convert "$tmp/p.png" -alpha off -interlace GIF $out/gif/interlaced.gif
convert "$tmp/p.png" -define webp:lossless=true $out/webp/lossless.webp
convert "$tmp/p.png" -quality 50 $out/webp/lossy.webp
convert "$tmp/p.png" $out/stb/p.bmp
convert "$tmp/p.png" $out/stb/p.tga
convert "$tmp/p.png" $out/stb/p.psd
convert "$tmp/p.png" $out/stb/p.hdr
convert "$tmp/p.png" -alpha off $out/stb/p.ppm
convert "$tmp/p.png" -colorspace Gray $out/stb/p.pgm
cli=${CLI:-build/sonographica-cli}
if [ -x "$cli" ]; then
  SONOGRAPHICA_DATA_DIR="$tmp" "$cli" -e "Open \"$tmp/p.png\"" -e "Save \"$PWD/$out/exr/grey.exr\"" 2>/dev/null
  SONOGRAPHICA_DATA_DIR="$tmp" "$cli" -e "Open \"$tmp/mono.wav\"" -e "Save \"$PWD/$out/exr/sound.exr\"" 2>/dev/null
else
  echo "no $cli: OpenEXR seeds not written"
fi
ls -l $out/*
