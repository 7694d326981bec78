#!/usr/bin/env bash
# Streams from scanner exports: a 5-million-point PTX file (two scans) and a 5-million-point
# ASCII file (x y z intensity r g b), built with `nimbex build` (bounds pass included) next to
# CloudCompare merely loading the same files, in the same run.
set -euo pipefail
build=${1:-build/release}
nimbex="$build/cli/nimbex"
data="$build/bench-data"
mkdir -p "$data"
ptx="$data/scans-5m.ptx"
pts="$data/scans-5m.pts"
[ -f "$ptx" ] && [ -f "$pts" ] || "$build/bench/make-scan-files" 5000000 "$ptx" "$pts"

seconds() {  # wall seconds of a command
  /usr/bin/time -f "%e" -o "$data/time.txt" "$@" > /dev/null 2> "$data/stderr.txt" ||
    { cat "$data/stderr.txt" >&2; return 1; }
  cat "$data/time.txt"
}

for input in "$ptx" "$pts"; do
  cat "$input" > /dev/null
  ours=$(seconds "$nimbex" build "$input" -o "$data/scan-out/$(basename "$input").strm" --overwrite)
  if command -v CloudCompare > /dev/null; then
    theirs=$(QT_QPA_PLATFORM=offscreen seconds CloudCompare -SILENT -NO_TIMESTAMP -AUTO_SAVE OFF -O "$input")
    printf "scan    %-14s nimbex build %6.2f s   CloudCompare load %6.2f s   ratio %.2f   (target >= 2)\n" \
      "$(basename "$input")" "$ours" "$theirs" "$(echo "$theirs / $ours" | bc -l)"
  else
    printf "scan    %-14s nimbex build %6.2f s   (CloudCompare not installed: scripts/setup --bench)\n" \
      "$(basename "$input")" "$ours"
  fi
done
