#!/usr/bin/env bash
# Runs one end-to-end script and then makes sure nothing it started is still running.
#
#   run_e2e.sh SCRIPT ARGS...
#
# Every process the script starts inherits a variable that names this run; once the script has
# ended (its own clean-up included), any process still carrying it is a leftover: a subscriber,
# a simulator or a program that a kill aimed at the wrong pid missed. Leftovers are listed,
# ended (they are ours: found by the run's own mark) and fail the test, whatever the script
# said. A skipped script (77) stays skipped unless it left something behind.
set -uo pipefail

[ $# -ge 1 ] || { echo "usage: run_e2e.sh SCRIPT ARGS..." >&2; exit 2; }
mark="IPS_E2E_RUN=$$-$(date +%s%N)"

# The pids of processes whose starting environment holds this run's mark. A program that clears
# its environment after it started still shows the one it got; one started with an environment
# of its own (the web server) is not seen, and ends with the program that started it.
marked() {
  grep -lzxF "$mark" /proc/[0-9]*/environ 2>/dev/null | sed -n 's|^/proc/\([0-9]*\)/environ$|\1|p'
}

env "$mark" bash "$@"
status=$?

# A clean-up may have sent its signals a moment ago: give the processes time to go.
left=""
for _ in $(seq 1 30); do
  left=$(marked)
  [ -z "$left" ] && break
  sleep 0.1
done
if [ -n "$left" ]; then
  echo "FAIL: the test left processes running:"
  for pid in $left; do
    echo "  $pid: $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
  done
  for pid in $left; do kill -TERM "$pid" 2>/dev/null; done
  sleep 1
  for pid in $(marked); do kill -KILL "$pid" 2>/dev/null; done
  exit 1
fi
exit $status
