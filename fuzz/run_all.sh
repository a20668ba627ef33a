#!/usr/bin/env bash
# Runs every fuzz target for a bounded time (default 120 s each), one after the other, on its
# seeds, its regression inputs (fuzz/regressions/<target>/) and the corpus it grew before.
# Prints one line per target and exits 1 when any target found a fault (its input lands in
# fuzz/crashes/). Usage: fuzz/run_all.sh [seconds]   (after fuzz/build.sh)
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
secs="${1:-120}"
status=0
summary=()
for bin in "$here"/out/*_fuzz; do
  t="$(basename "$bin" _fuzz)"
  if "$here/run_one.sh" "$t" "$secs" >"$here/out/run/$t.log" 2>&1; then
    summary+=("ok    $t ($(grep -m1 -o 'stat::number_of_executed_units: [0-9]*' "$here/out/run/$t.log" | grep -o '[0-9]*$') runs)")
  else
    summary+=("FAULT $t: see $here/out/run/$t.log and fuzz/crashes/$t-*")
    status=1
  fi
done
printf '%s\n' "${summary[@]}"
exit $status
