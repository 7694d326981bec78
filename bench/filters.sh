#!/usr/bin/env bash
# The stream filters, measured in this run:
#   clean  nimbex clean of a 5-million-point demo site with radius 0.05, end to end, next to
#          CloudCompare's spatial subsampling of the same points read from a binary PLY file
#          (target: nimbex at least twice as fast)
#   mesh   nimbex mesh of a 200,000-point demo site, in triangles per second
set -euo pipefail
build=${1:-build/release}
nimbex="$build/cli/nimbex"
data="$build/bench-data"
mkdir -p "$data/filters"
work=$(cd "$data/filters" && pwd)  # absolute: the peer runs inside it

seconds() {  # prints the seconds a command takes
  /usr/bin/time -f "%e" -o "$work/time.txt" "$@" > "$work/stdout.txt" 2> "$work/stderr.txt" ||
    { cat "$work/stderr.txt" >&2; return 1; }
  cat "$work/time.txt"
}

stream() {  # stream POINTS NAME -> a stream of a demo site of POINTS points, built once
  local las="$data/site-$1.las"
  [ -f "$las" ] || "$nimbex" demo-site "$las" --points "$1" --seed 7 > /dev/null 2>&1
  [ -f "$work/$2.strm" ] || "$nimbex" build "$las" -o "$work/$2.strm" --overwrite > /dev/null 2>&1
  echo "$work/$2.strm"
}

site=$(stream 5000000 site)
rm -f "$work"/clean.*
clean_seconds=$(seconds "$nimbex" clean "$site" -o "$work/clean.strm" --radius 0.05)
kept=$(cat "$work/stdout.txt")

if command -v CloudCompare > /dev/null; then
  [ -f "$work/site.ply" ] || "$build/bench/stream-to-ply" "$site" "$work/site.ply"
  rm -f "$work"/site_SPATIAL_SUBSAMPLED*
  cc_seconds=$(cd "$work" && QT_QPA_PLATFORM=offscreen \
    seconds CloudCompare -SILENT -NO_TIMESTAMP -O site.ply -SS SPATIAL 0.05)  # saves its result
  printf "clean   5000000 points, radius 0.05   %.2f s   (%s)\n" "$clean_seconds" "${kept##*: }"
  printf "        CloudCompare -SS SPATIAL 0.05: %.2f s   nimbex clean is %.2f times as fast   (target >= 2)\n" \
    "$cc_seconds" "$(echo "$cc_seconds / $clean_seconds" | bc -l)"
else
  printf "clean   5000000 points, radius 0.05   %.2f s\n" "$clean_seconds"
  echo "        CloudCompare not installed: no peer figure"
fi

small=$(stream 200000 small)
rm -f "$work"/mesh.*
mesh_seconds=$(seconds "$nimbex" mesh "$small" -o "$work/mesh.strm")
triangles=$(sed -n 's/.*points, \([0-9]*\) triangles.*/\1/p' "$work/stdout.txt")
printf "mesh    200000 points   %.2f s   %d triangles   %.0f triangles/s\n" "$mesh_seconds" \
  "$triangles" "$(echo "$triangles / $mesh_seconds" | bc -l)"
