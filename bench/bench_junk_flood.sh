#!/usr/bin/env bash
# Discovery under a flood of undecodable answers, on a virtual segment: devsim simulates a
# healthy fleet and injects junk acknowledges, configuration reports and authenticate answers
# (valid header, random cipher blocks) from unknown senders. Prints, per run, how long a
# `scan --seconds N` took from start to exit, how many devices it listed and the largest
# resident memory of the scanning process. A benchmark, not a test: it prints figures.
#
#   bench/bench_junk_flood.sh [module folder, default build/bin]
# Environment: IPS_BENCH_DEVICES (5000), IPS_BENCH_JUNK_PPS (10000), IPS_BENCH_SECONDS (6),
# IPS_BENCH_RUNS (3).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/bin}
devices=${IPS_BENCH_DEVICES:-5000}
junk=${IPS_BENCH_JUNK_PPS:-10000}
seconds=${IPS_BENCH_SECONDS:-6}
runs=${IPS_BENCH_RUNS:-3}
[ "$(id -u)" -eq 0 ] || { echo "bench_junk_flood: needs root (network namespaces)" >&2; exit 1; }
for exe in devsim ipscanner-cli; do
  [ -x "$bin/$exe" ] || { echo "bench_junk_flood: $bin/$exe not built" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "bench_junk_flood: needs /usr/bin/time (package time)" >&2; exit 1; }
work=$(mktemp -d /tmp/ips-bench-junk-XXXXXX)
trap 'rm -rf "$work"' EXIT

printf '%-8s %-9s %-4s %-10s %-8s %-10s %s\n' devices junk_pps run wall_s listed max_rss_mb exit
for run in $(seq 1 "$runs"); do
  # The scan starts once devsim listens and the flood runs; 1 s head start fills any backlog.
  IPS_DEVSIM="$bin/devsim" "$root/scripts/segment.sh" --quiet \
    --devsim "--count $devices --envelope mixed --workmac-differ-share 0.2 --junk-pps $junk --seed $run" \
    -- bash -c 'sleep 1; /usr/bin/time -f "%e %M" -o "$3/time" "$0" scan --interface "$IPS_SEGMENT_IF" --seconds "$1" --json >"$3/scan.json" 2>"$3/scan.err"; echo $? >"$3/rc"' \
    "$bin/ipscanner-cli" "$seconds" "$devices" "$work"
  read -r wall rss <"$work/time"
  listed=$(grep -o '"mac"' "$work/scan.json" | wc -l)
  printf '%-8s %-9s %-4s %-10s %-8s %-10s %s\n' "$devices" "$junk" "$run" "$wall" "$listed" \
    "$(awk -v k="$rss" 'BEGIN { printf "%.0f", k / 1024 }')" "$(cat "$work/rc")"
done
