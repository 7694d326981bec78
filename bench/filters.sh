#!/usr/bin/env bash
# The stream filters, measured in this run:
#   clean  nimbex clean of a 5-million-point demo site, end to end, at a radius that removes
#          at least 40 % of its points, next to CloudCompare's spatial subsampling of the same
#          points at the same distance. Each tool starts from the file it reads fastest: the
#          stream for nimbex, CloudCompare's own BIN file (made once from the same points,
#          not timed) for CloudCompare; both write their result. Both counts of kept points
#          are printed (target: nimbex at least twice as fast)
#   mesh   nimbex mesh of a 200,000-point demo site, in triangles per second
# Usage: filters.sh [BUILD [clean|mesh]]; without a row name both rows run.
set -euo pipefail
build=${1:-build/release}
rows=${2:-clean mesh}
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

percent_removed() {  # percent_removed KEPT OF
  echo "100 - 100 * $1 / $2" | bc -l
}

clean_row() {
  local points=5000000 radius=0.3
  local site; site=$(stream $points site)
  rm -f "$work"/clean.*
  cat "${site%.strm}".{strm,ovw,rgb,pci} > /dev/null
  local ours; ours=$(seconds "$nimbex" clean "$site" -o "$work/clean.strm" --radius $radius)
  local kept; kept=$(sed -n 's/.*: \([0-9]*\) points kept of.*/\1/p' "$work/stdout.txt")
  printf "clean   %d points, radius %s   nimbex clean %.2f s, kept %d (%.1f %% removed)   (target: >= 40 %% removed)\n" \
    $points $radius "$ours" "$kept" "$(percent_removed "$kept" $points)"

  if ! command -v CloudCompare > /dev/null; then
    echo "        CloudCompare not installed (scripts/setup --bench): no peer figure   (target >= 2)"
    return
  fi
  export QT_QPA_PLATFORM=offscreen
  if [ ! -f "$work/site.bin" ]; then
    [ -f "$work/site.ply" ] || "$build/bench/stream-to-ply" "$site" "$work/site.ply"
    (cd "$work" && CloudCompare -SILENT -NO_TIMESTAMP -O site.ply -C_EXPORT_FMT BIN \
      -SAVE_CLOUDS FILE site.bin > /dev/null 2>&1)
    rm -f "$work/site.ply"
  fi
  rm -f "$work"/site_SPATIAL_SUBSAMPLED*
  cat "$work/site.bin" > /dev/null
  local theirs; theirs=$(cd "$work" && seconds CloudCompare -SILENT -NO_TIMESTAMP -O site.bin -SS SPATIAL $radius)
  local their_kept; their_kept=$(sed -n 's/.*Result: \([0-9]*\) points.*/\1/p' "$work/stdout.txt")
  [ -n "$their_kept" ] && [ -f "$work/site_SPATIAL_SUBSAMPLED.bin" ] ||
    { echo "        CloudCompare gave no subsampled cloud: see $work/stdout.txt" >&2; return 1; }
  printf "        CloudCompare -SS SPATIAL %s (from BIN): %.2f s, kept %d (%.1f %% removed)   nimbex clean is %.2f times as fast   (target >= 2)\n" \
    $radius "$theirs" "$their_kept" "$(percent_removed "$their_kept" $points)" \
    "$(echo "$theirs / $ours" | bc -l)"
  rm -f "$work"/site_SPATIAL_SUBSAMPLED* "$work"/clean.*
}

mesh_row() {
  local small; small=$(stream 200000 small)
  rm -f "$work"/mesh.*
  local took; took=$(seconds "$nimbex" mesh "$small" -o "$work/mesh.strm")
  local triangles; triangles=$(sed -n 's/.*points, \([0-9]*\) triangles.*/\1/p' "$work/stdout.txt")
  printf "mesh    200000 points   %.2f s   %d triangles   %.0f triangles/s   (no target: figure only)\n" \
    "$took" "$triangles" "$(echo "$triangles / $took" | bc -l)"
}

for row in $rows; do
  case $row in
    clean) clean_row ;;
    mesh) mesh_row ;;
    *) echo "filters.sh: no row named $row (clean, mesh)" >&2; exit 2 ;;
  esac
done
