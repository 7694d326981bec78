#!/usr/bin/env bash
# How the cost of stream creation grows with the size of the site: demo sites of 5, 20 and
# 100 million points are built one after the other, each printed with its rate and peak
# memory, then compared with the smallest. Everything it writes is removed afterwards, also
# when it fails or is interrupted. It needs about 150 bytes of free disk per point of the
# largest site (15 GB for 100 million) and refuses to start with less.
# Usage: scale.sh [BUILD [POINTS...]]
set -euo pipefail
build=${1:-build/release}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(5000000 20000000 100000000)
nimbex="$build/cli/nimbex"
bytes_per_point=150

largest=0
for points in "${sizes[@]}"; do
  [[ $points =~ ^[1-9][0-9]*$ ]] || { echo "scale.sh: $points is not a number of points" >&2; exit 2; }
  [ "$points" -gt "$largest" ] && largest=$points
done

data="$build/bench-data"
made_data=""
[ -d "$data" ] || { mkdir -p "$data"; made_data=1; }
work=$(mktemp -d "$data/scale.XXXXXX")
trap 'rm -rf "$work"; [ -z "$made_data" ] || rmdir "$data"' EXIT

need=$((largest * bytes_per_point))
free=$(($(df -Pk "$work" | awk 'NR == 2 {print $4}') * 1024))
echo "scale   needs about $((need / 1000000000)) GB of free disk in $work (removed afterwards);" \
  "$((free / 1000000000)) GB are free"
if [ "$free" -lt "$need" ]; then
  echo "scale   not started: free at least $(((need - free) / 1000000000 + 1)) GB more, or give" \
    "smaller sizes (bench/scale.sh BUILD POINTS...)" >&2
  exit 1
fi

first_rate="" first_peak=""
for points in "${sizes[@]}"; do
  las="$work/site.las"
  "$nimbex" demo-site "$las" --points "$points" --seed 7 > /dev/null 2>&1
  cat "$las" > /dev/null
  /usr/bin/time -f "%e %M" -o "$work/time.txt" \
    "$nimbex" build "$las" -o "$work/out/site.strm" --overwrite > /dev/null 2> "$work/stderr.txt" ||
    { cat "$work/stderr.txt" >&2; exit 1; }
  read -r seconds peak < "$work/time.txt"
  rm -rf "$las" "$work/out"
  rate=$(echo "$points / $seconds / 1000000" | bc -l)
  printf "scale   build %4d M points   %7.2f s   %5.2f M points/s   peak memory %4d MiB   (target >= 2.5 M points/s, peak < 512 MiB)\n" \
    $((points / 1000000)) "$seconds" "$rate" $((peak / 1024))
  if [ -z "$first_rate" ]; then
    first_rate=$rate first_peak=$peak first_points=$points
  else
    printf "        against %d M points: rate %.2f times, peak memory %.2f times   (target: flat, 1.00)\n" \
      $((first_points / 1000000)) "$(echo "$rate / $first_rate" | bc -l)" \
      "$(echo "$peak / $first_peak" | bc -l)"
  fi
done
