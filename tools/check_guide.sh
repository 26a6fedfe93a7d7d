#!/bin/sh
# Runs every command the user guide shows, so that the guide cannot drift from the programs:
# each "$ " line of its terminal examples (.Sh/.Se) in a folder of sounds made here, with its
# shown output compared, and each archive example (.Ar/.Ae) through sonographica-cli. Then:
# every command of the language reference (.Cm) starts a line of some run example, every
# example line of the reference (.Ex) is a line of one, every command the interpreter knows
# is in the reference, and the typeset guide has the section the program's messages name.
# Usage: check_guide.sh SONOGRAPHICA-CLI GUIDE.ms [GUIDE.pdf]
set -u
cli=$1
guide=$2
pdf=${3:-}
fail() { echo "FAIL: $*"; exit 1; }

[ -x "$cli" ] || fail "no program at $cli"
[ -f "$guide" ] || fail "no guide source at $guide"
command -v sox >/dev/null || fail "sox is needed to make the sample sounds: sh tools/setup.sh"
bin=$(cd "$(dirname "$cli")" && pwd)
source_root=$(cd "$(dirname "$guide")/../.." && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/run" "$work/data" "$work/steps"
run=$work/run

# The files the examples open: a stereo chord, the same as FLAC, a noise loop and a picture.
sox -q -n -r 44100 -c 2 "$run/song.wav" synth 2 sine 220 sine 330 gain -6 || fail "sox song.wav"
sox -q "$run/song.wav" "$run/song.flac" || fail "sox song.flac"
sox -q -n -r 44100 "$run/drums.wav" synth 2 pinknoise tremolo 4 100 gain -10 || fail "sox drums.wav"

export SONOGRAPHICA_DATA_DIR="$work/data"
# The editor's examples run headless and quit once their file is loaded.
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy SONOGRAPHICA_EXIT_AFTER_FRAMES=3
export SONOGRAPHICA_WINDOW_SIZE=800x600
unset SONOGRAPHICA_SCRIPT SONOGRAPHICA_SCREENSHOT SONOGRAPHICA_GUIDE
PATH="$bin:$PATH"
export PATH

(cd "$run" && sonographica-cli -e 'Open "song.wav"' -e 'Save "picture.png"' >/dev/null 2>&1) ||
    fail "could not make picture.png"

# Extraction, in document order: steps/NNN.sh (+ NNN.out, the shown output) for terminal
# lines, steps/NNN.sga for archives; keywords and example lines of the reference.
awk -v steps="$work/steps" -v run="$run" -v kw="$work/keywords" -v ex="$work/examples" '
function unescape(s) {
    gsub(/\\\(aq/, "\047", s); gsub(/\\\(ha/, "^", s); gsub(/\\\(ti/, "~", s); gsub(/\\\(dq/, "\"", s)
    gsub(/\\-/, "-", s); gsub(/\\&/, "", s); gsub(/\\e/, "\\", s)
    return s
}
function step() { n++; return sprintf("%s/%03d", steps, n) }
# These characters are typeset as typographic look-alikes that do not copy into a terminal.
function plain(s) {
    if (s ~ /[\^~`\047]/) { print "write \\(ha, \\(ti, \\(ga or \\(aq in the example line: " s > "/dev/stderr"; bad = 1 }
    return s
}
BEGIN { mode = ""; n = 0 }
mode == "" && /^\.Sh/ { mode = "sh"; cmd = ""; next }
mode == "" && /^\.Ar / { mode = "ar"; name = $2; file = step() ".sga"; print name > (file ".name"); next }
mode == "" && /^\.Cm / { print $2 > kw; next }
mode == "" && /^\.Ex/ { want_example = 1; next }
mode == "" && want_example { print unescape(plain($0)) > ex; want_example = 0; next }
mode == "sh" && /^\.Se/ { mode = ""; next }
mode == "sh" && going_on { print unescape(plain($0)) > (cmd ".sh"); going_on = /\\e$/; next }
mode == "sh" && /^\$ / { cmd = step(); print unescape(plain(substr($0, 3))) > (cmd ".sh"); printf "" > (cmd ".out")
                         going_on = /\\e$/; next }
mode == "sh" { if (cmd == "") { print "output before any command: " $0 > "/dev/stderr"; exit 1 }
               print unescape(plain($0)) > (cmd ".out"); next }
mode == "ar" && /^\.Ae/ { mode = ""; next }
mode == "ar" { print unescape(plain($0)) > file; next }
END { if (mode != "") { print "an example block is not closed" > "/dev/stderr"; exit 1 }
      if (bad) exit 1 }
' "$guide" || fail "the guide's examples could not be extracted"

# Log lines that mean something went wrong even when the exit status says otherwise.
bad_lines() { grep -E '(^|: )(Error|Warning)|sonographica-cli:|not found|could not|couldn.t' "$1"; }

count_sh=0
count_ar=0
for s in "$work"/steps/*; do
    case "$s" in
    *.sh)
        command=$(cat "$s")
        (cd "$run" && sh "$s" >"$work/stdout" 2>"$work/stderr")
        status=$?
        [ $status -eq 0 ] || fail "\$ $command exited $status: $(cat "$work/stderr")"
        bad_lines "$work/stderr" && fail "\$ $command logged an error"
        expected=${s%.sh}.out
        if [ -s "$expected" ] && ! cmp -s "$expected" "$work/stdout"; then
            fail "\$ $command printed
$(cat "$work/stdout")
where the guide shows
$(cat "$expected")"
        fi
        count_sh=$((count_sh + 1))
        ;;
    *.sga)
        name=$(cat "$s.name")
        cp "$s" "$run/$name.sga"
        (cd "$run" && sonographica-cli "$name.sga" --info >"$work/stdout" 2>"$work/stderr")
        status=$?
        [ $status -eq 0 ] || fail "archive example $name exited $status: $(cat "$work/stderr")"
        bad_lines "$work/stderr" && fail "archive example $name logged an error"
        grep -q '"layers"' "$work/stdout" || fail "archive example $name printed no project"
        count_ar=$((count_ar + 1))
        ;;
    esac
done
[ $count_sh -gt 0 ] && [ $count_ar -gt 0 ] || fail "the guide shows no examples to run"

# The reference against the run examples and against the interpreter.
[ -s "$work/keywords" ] || fail "the guide has no command reference"
cat "$work"/steps/*.sga > "$work/all_lines"
while read -r k; do
    grep -q "^$k\( \|\$\)" "$work/all_lines" || fail "no example runs the command \"$k\" of the reference"
done < "$work/keywords"
while IFS= read -r line; do
    grep -qxF -- "$line" "$work/all_lines" || fail "the reference's example \"$line\" is in no example that runs"
done < "$work/examples"
interpreter=$(sed -n '/keywords\[\] = {/,/};/p' "$source_root/src/commands/archive_read.cpp" | grep -o '"[^"]*"' | tr -d '"')
[ -n "$interpreter" ] || fail "the interpreter's command list was not found"
for k in $interpreter; do
    grep -qx "$k" "$work/keywords" || fail "the interpreter knows \"$k\", the guide's reference does not"
done

# The typeset guide, when the build made one: a PDF with the section the messages point to.
if [ -n "$pdf" ] && [ -f "$pdf" ]; then
    head -c 5 "$pdf" | grep -q '%PDF-' || fail "$pdf is not a PDF"
    if command -v pdftotext >/dev/null; then
        # Page breaks become form feeds at the start of a line; indentation is not compared.
        pdftotext "$pdf" - 2>/dev/null | tr -d '\f' | sed 's/^[[:space:]]*//; s/[[:space:]]*$//' > "$work/typeset" ||
            fail "pdftotext could not read $pdf"
        for heading in "I. Sound as a picture" "II. Lossless mode" "Limitations" "IX. The archive language"; do
            grep -qxF "$heading" "$work/typeset" || fail "the typeset guide lacks the heading \"$heading\""
        done
        # What is run is what the reader sees and copies, character for character.
        cat "$work"/steps/*.sh "$work"/steps/*.sga | sed 's/^[[:space:]]*//; s/[[:space:]]*$//' | grep -v '^$' |
        while IFS= read -r line; do
            grep -qF -- "$line" "$work/typeset" || { echo "$line"; break; }
        done > "$work/unseen"
        [ -s "$work/unseen" ] && fail "the typeset guide does not show this example line as it runs: $(cat "$work/unseen")"
    else
        echo "pdftotext is not installed: the typeset text was not checked"
    fi
else
    echo "the guide was not typeset (no groff): only its commands were checked"
fi
echo "guide: $count_sh commands and $count_ar archives ran, $(wc -l < "$work/keywords") commands referenced"
