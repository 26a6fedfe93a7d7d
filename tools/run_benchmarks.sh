#!/bin/sh
# Runs every benchmark executable of a build folder.
dir=${1:-build-bench}
status=0
for b in "$dir"/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" || status=1
done
exit $status
