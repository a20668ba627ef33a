#!/usr/bin/env bash
# The success share of batch static on a lossy segment: `static --all --expect COUNT` on COUNT
# DHCP devices while devsim loses a share of the frames each way, once per seed and loss, on a
# fresh virtual segment each time. Prints one line per run and the share of "Success" rows per
# loss over all its seeds.
#   bench/bench_lossy_static.sh build/bin [SEEDS=10] [COUNT=300] [LOSSES="0.05 0.2"]
set -uo pipefail
bin=$(realpath "${1:?module folder}")
seeds=${2:-10}
count=${3:-300}
losses=${4:-0.05 0.2}
src=$(realpath "$(dirname "${BASH_SOURCE[0]}")/..")
[ "$(id -u)" -eq 0 ] || { echo "needs root for network namespaces"; exit 1; }
work=$(mktemp -d /tmp/ips-bench-lossy-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/mod"
cp "$bin/ipscanner-cli" "$work/mod/"
cp -r "$bin/config" "$work/mod/"
rm -f "$work/mod/config/SystemSetting.ini"

for loss in $losses; do
  ok_all=0 rows_all=0 clean=0
  for seed in $(seq 1 "$seeds"); do
    IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
      --devsim "--count $count --static-share 0 --loss $loss,$seed --seed $seed" \
      -- bash -c "'$work/mod/ipscanner-cli' static --all --expect $count --seconds 30 \
           --interface \"\$IPS_SEGMENT_IF\" --json >'$work/run.json' 2>'$work/run.err';
         echo \$? >'$work/run.rc'"
    ok=$(jq '[.[] | select(.status == "Success")] | length' "$work/run.json" 2>/dev/null || echo 0)
    rc=$(cat "$work/run.rc" 2>/dev/null || echo "?")
    [ "$ok" = "$count" ] && clean=$((clean + 1))
    ok_all=$((ok_all + ok))
    rows_all=$((rows_all + count))
    echo "loss $loss seed $seed: $ok of $count Success, exit $rc ($(tail -1 "$work/run.err"))"
  done
  echo "loss $loss: $ok_all of $rows_all Success ($(echo "scale=2; 100 * $ok_all / $rows_all" | bc) %)," \
    "$clean of $seeds runs all-Success"
done
