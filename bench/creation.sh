#!/usr/bin/env bash
# Stream creation from a 20-million-point demo site, next to its floor and a peer, all
# measured in this run:
#   floor  reading the input with cat, plus writing as many bytes as the stream holds with dd
#   peer   pcl_outofcore_process building its out-of-core octree over the same points
# A 5-million-point site is built too, to show that peak memory does not follow the count, and
# the 20-million-point site once more on one thread (NIMBEX_CREATION_THREADS=1).
set -euo pipefail
build=${1:-build/release}
nimbex="$build/cli/nimbex"
data="$build/bench-data"
mkdir -p "$data"

measure() {  # prints "seconds peak-KiB" of a command
  /usr/bin/time -f "%e %M" -o "$data/time.txt" "$@" > /dev/null 2> "$data/stderr.txt" ||
    { cat "$data/stderr.txt" >&2; return 1; }
  cat "$data/time.txt"
}

site() {  # site POINTS -> path of the demo site, made once
  local las="$data/site-$1.las"
  [ -f "$las" ] || "$nimbex" demo-site "$las" --points "$1" --seed 7 > /dev/null 2>&1
  echo "$las"
}

build_row() {  # build_row POINTS [THREADS]
  local las; las=$(site "$1")
  cat "$las" > /dev/null
  read -r seconds peak < <(measure env NIMBEX_CREATION_THREADS="${2:-2}" "$nimbex" build "$las" \
    -o "$data/out-$1/site.strm" --overwrite)
  local bytes; bytes=$(cat "$data/out-$1"/site.{strm,ovw,rgb,rgbovw,rif,rifovw,cla,claovw,pls,plsovw,pci} 2>/dev/null | wc -c)
  echo "$seconds $peak $bytes"
}

points=20000000
read -r small_seconds small_peak _ < <(build_row 5000000)
read -r seconds peak stream_bytes < <(build_row $points)
read -r one_thread_seconds _ _ < <(build_row $points 1)
las=$(site $points)

floor_read=$(measure cat "$las" | cut -d' ' -f1)
floor_write=$(measure dd if=/dev/zero of="$data/floor.bin" bs=1M count=$((stream_bytes / 1048576)) | cut -d' ' -f1)
rm -f "$data/floor.bin"
floor=$(echo "$floor_read + $floor_write" | bc -l)

# 6.85 M points/s was the rate of creation on one thread before it used two.
printf "build   %d points   %.2f s   %.2f M points/s   (target >= 10.96: 1.6 times 6.85 on one thread)\n" \
  $points "$seconds" "$(echo "$points / $seconds / 1000000" | bc -l)"
printf "        on one thread %.2f s, %.2f M points/s: two threads are %.2f times as fast\n" \
  "$one_thread_seconds" "$(echo "$points / $one_thread_seconds / 1000000" | bc -l)" \
  "$(echo "$one_thread_seconds / $seconds" | bc -l)"
printf "        peak memory %d MiB at 20 M points, %d MiB at 5 M points   (target < 512, flat)\n" \
  $((peak / 1024)) $((small_peak / 1024))
printf "        floor %.2f s (cat input %.2f s + dd %d MB %.2f s)   build / floor = %.2f   (target <= 3)\n" \
  "$floor" "$floor_read" $((stream_bytes / 1000000)) "$floor_write" "$(echo "$seconds / $floor" | bc -l)"

if command -v pcl_outofcore_process > /dev/null; then
  pcd="$data/site-$points.pcd"
  [ -f "$pcd" ] || "$build/bench/las-to-pcd" "$las" "$pcd"
  cat "$pcd" > /dev/null
  rm -rf "$data/pcl-tree"
  read -r pcl_seconds pcl_peak < <(measure pcl_outofcore_process -depth 4 -gen_lod "$pcd" "$data/pcl-tree")
  printf "peer    pcl_outofcore_process -depth 4 -gen_lod: %.2f s, %d MiB   nimbex build is %.2f times as fast\n" \
    "$pcl_seconds" $((pcl_peak / 1024)) "$(echo "$pcl_seconds / $seconds" | bc -l)"
else
  echo "peer    pcl_outofcore_process not installed (scripts/setup --bench installs pcl-tools)"
fi
