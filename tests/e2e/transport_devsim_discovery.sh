#!/usr/bin/env bash
# A discovery sent through the program's transport and facade is answered by devsim: exactly the
# fault-free devices of a mixed fleet (MAC text forms, work MACs, envelopes, empty models, late
# answers) come back with the fleet's fields, then 5,000 devices answer without loss while a
# CPU-heavy job runs beside the reader, with the capture in this process and through the capture
# helper, and once more while the reader is stopped for a second in the middle of the burst.
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
    # The summary first (answers, devices, capture drops), then what went wrong.
    echo "FAIL: $name (rc $rc): $(grep '"answers"' "$work/out" | tail -1)"
    grep -v '"mac"\|"answers"' "$work/out" | head -20; fail=1
  fi
}

# A job that keeps one processor busy beside the reader, ended by its pid (and by itself when
# this script is gone, even killed).
busy_pid=""
at_exit() { [ -n "$busy_pid" ] && kill "$busy_pid" 2>/dev/null; }
start_busy() { ( while kill -0 $$ 2>/dev/null; do :; done ) & busy_pid=$!; }
stop_busy() { kill "$busy_pid" 2>/dev/null; wait "$busy_pid" 2>/dev/null; busy_pid=""; }

run "mixed fleet with faulty and late devices" \
  "--count 300 --envelope mixed --workmac-differ-share 0.3 --empty-model-share 0.3 --drop-share 0.05 --corrupt-share 0.05 --truncate-share 0.05 --late-ms 300 --seed 7" \
  "--listen-ms 1200 discover --rounds 2"
start_busy
run "5000 devices, one discovery, no loss, beside a busy processor" \
  "--count 5000 --seed 11" \
  "--listen-ms 10000 discover --rounds 1 --expect 5000"
run "5000 devices through the capture helper, beside a busy processor" \
  "--count 5000 --seed 12" \
  "--via-helper --listen-ms 10000 discover --rounds 1 --expect 5000"
stop_busy
# The kernel ring holds the whole burst while the reader (here the helper) is off the processor
# for a second: devsim answers at once, and the helper is stopped as soon as it has sent.
run "5000 devices answering at once while the capture helper is stopped for a second" \
  "--count 5000 --seed 13 --pps 1000000" \
  "--via-helper --listen-ms 10000 discover --rounds 1 --expect 5000 --stop-reader-ms 1000"
exit $fail
