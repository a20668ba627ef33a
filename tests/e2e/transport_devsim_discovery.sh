#!/usr/bin/env bash
# A discovery sent through the program's transport and facade is answered by devsim: exactly the
# fault-free devices of a mixed fleet (MAC text forms, work MACs, envelopes, empty models, late
# answers) come back with the fleet's fields, then 5,000 devices answer without loss.
# Usage: transport_devsim_discovery.sh <module_dir> <source_dir>; exit 77 = skipped.
set -u
bin=$1 src=$2
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns
need_built devsim netprobe
make_work
fail=0

run() {  # name, devsim args, netprobe discover args
  local name=$1 devsim_args=$2 probe_args=$3
  "$src/scripts/segment.sh" --quiet --devsim-bin "$bin/devsim" \
    --devsim "$devsim_args --fleet-file $work/fleet.json" -- \
    bash -c '"'"$bin"'/netprobe" --interface "$IPS_SEGMENT_IF" '"$probe_args"' --fleet "'"$work"'/fleet.json"' \
    > "$work/out" 2>&1
  local rc=$?
  if [ $rc -eq 0 ]; then
    echo "ok: $name: $(tail -1 "$work/out")"
  else
    # The summary (answers, mismatches, capture drops) first: the lines before it may be many.
    echo "FAIL: $name (rc $rc)"
    echo "  summary: $(grep -m1 '"undecodable"' "$work/out" || echo "none, netprobe ended before it")"
    grep -v '"mac"' "$work/out" | grep -v '"undecodable"' | head -20
    fail=1
  fi
}

run "mixed fleet with faulty and late devices" \
  "--count 300 --envelope mixed --workmac-differ-share 0.3 --empty-model-share 0.3 --drop-share 0.05 --corrupt-share 0.05 --truncate-share 0.05 --late-ms 300 --seed 7" \
  "--listen-ms 1200 discover --rounds 2"
run "5000 devices, one discovery, no loss" \
  "--count 5000 --seed 11" \
  "--listen-ms 3000 discover --rounds 1 --expect 5000"
exit $fail
