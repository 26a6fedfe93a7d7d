#!/bin/sh
# Until the desktop program exists, `make run` exercises the command-line program.
dir=${1:-build}
cli="$dir/sonographica-cli"
"$cli" --version
echo "Evaluating the number notation: '1;6 + 2^3^2' ->"
"$cli" --eval '1;6 + 2^3^2'
