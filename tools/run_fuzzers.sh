#!/bin/sh
# Runs each fuzz harness of a build folder over its seed corpus (fuzz/corpus/NAME, when present)
# for a fixed number of inputs, so CI time stays bounded and repeatable.
dir=${1:-build-asan}
runs=${FUZZ_RUNS:-2000}
status=0
for f in "$dir"/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus="fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  echo "== $name: $runs inputs"
  "$f" -runs="$runs" -seed=1 -max_len=65536 -artifact_prefix="$work.art-" "$work" >"$work.log" 2>&1 || { status=1; tail -n 40 "$work.log"; }
  rm -rf "$work" "$work.log" "$work".art-*
done
exit $status
