#!/bin/sh
# Writes the seed files of the sound reader fuzz harnesses into fuzz/corpus/{wav,aiff,mp3,flac,ogg}.
# Each seed is a short tone, a few KB at most. Needs sox, flac, lame and oggenc.
set -e
cd "$(dirname "$0")/.."
out=fuzz/corpus
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p $out/wav $out/aiff $out/mp3 $out/flac $out/ogg


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
ls -l $out/*
