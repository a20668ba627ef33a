#!/usr/bin/env bash
# Discovery at scale, on a virtual segment: for each fleet size, the time from the discovery
# request until every simulated device is in the control core's table, and the share of devices
# whose answer to that single discovery was lost. A benchmark, not a test: it prints figures.
#
#   bench/bench_discovery.sh [module folder, default build/bin] [sizes, default "1000 5000"]
# Environment: IPS_BENCH_RUNS (runs per case, default 3), IPS_BENCH_PPS (devsim's paced send
# rates to try, default "20000 1000000": paced, and effectively a burst).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/bin}
sizes=${2:-"1000 5000"}
runs=${IPS_BENCH_RUNS:-3}
rates=${IPS_BENCH_PPS:-"20000 1000000"}
[ "$(id -u)" -eq 0 ] || { echo "bench_discovery: needs root (network namespaces)" >&2; exit 1; }
for exe in devsim ipscanner-cli; do
  [ -x "$bin/$exe" ] || { echo "bench_discovery: $bin/$exe not built" >&2; exit 1; }
done
work=$(mktemp -d /tmp/ips-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

printf '%-8s %-9s %-4s %-12s %-10s %s\n' devices pps run all_listed found lost_share
for n in $sizes; do
  for pps in $rates; do
    for run in $(seq 1 "$runs"); do
      # One discovery only: the scan listens 4 s, under the 5-second discovery period.
      IPS_DEVSIM="$bin/devsim" "$root/scripts/segment.sh" --quiet \
        --devsim "--count $n --envelope mixed --workmac-differ-share 0.2 --empty-model-share 0.2 --pps $pps --seed $run" \
        -- bash -c '"$0" scan --interface "$IPS_SEGMENT_IF" --seconds 4 --expect "$1" --json >"$2/scan.json" 2>"$2/scan.err"' \
        "$bin/ipscanner-cli" "$n" "$work"
      found=$(grep -o '"mac"' "$work/scan.json" | wc -l)
      ms=$(sed -n 's/.*listed after \([0-9]*\) ms.*/\1/p' "$work/scan.err")
      if [ -n "$ms" ]; then listed="$ms ms"; else listed="not all"; fi
      lost=$(awk -v n="$n" -v f="$found" 'BEGIN { printf "%.4f", (n - f) / n }')
      printf '%-8s %-9s %-4s %-12s %-10s %s\n' "$n" "$pps" "$run" "$listed" "$found" "$lost"
    done
  done
done
