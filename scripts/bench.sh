#!/usr/bin/env bash
# Prints the benchmarks' figures (not pass/fail).
set -euo pipefail
BUILD=${1:-build}
found=0
for b in "$BUILD"/bench/bench_*; do
  [ -x "$b" ] || continue
  found=1
  echo "== $(basename "$b")"
  "$b"
done
[ $found -eq 1 ] || echo "no benchmarks built yet"
