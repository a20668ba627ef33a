#!/usr/bin/env bash
# The site agent's steady cost on an idle site: a virtual segment with N simulated devices
# (2,000 by default), a mosquitto broker on the program namespace's loopback and the agent.
# After the agent has published every device once, it counts for a while every message the
# agent sends (a subscriber counts the live publications of the site) and the agent's CPU time.
# A benchmark, not a test: it prints figures.
#
#   bench/bench_agent_idle.sh [module folder, default build/bin] [devices, default 2000] [seconds, default 120]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/bin}
devices=${2:-2000}
seconds=${3:-120}
[ "$(id -u)" -eq 0 ] || { echo "bench_agent_idle: needs root (network namespaces)" >&2; exit 1; }
for exe in devsim ipscanner-cli; do
  [ -x "$bin/$exe" ] || { echo "bench_agent_idle: $bin/$exe not built" >&2; exit 1; }
done
command -v mosquitto >/dev/null || { echo "bench_agent_idle: mosquitto missing" >&2; exit 1; }
work=$(mktemp -d /tmp/ips-bench-agent-XXXXXX)
# The agent's site record (sites/bench.sqlite) goes with the run.
trap 'rm -rf "$work"; rm -f "$bin/sites/bench.sqlite"{,-wal,-shm}' EXIT

IPS_DEVSIM="$bin/devsim" "$root/scripts/segment.sh" --quiet \
  --devsim "--count $devices --seed 3" \
  -- bash -c '
    bin=$1 work=$2 devices=$3 seconds=$4
    printf "listener 1883 127.0.0.1\nallow_anonymous true\nuser root\nsys_interval 1\n" >"$work/m.conf"
    mosquitto -c "$work/m.conf" >"$work/broker.log" 2>&1 &
    broker=$!
    sleep 0.5
    "$bin/ipscanner-cli" agent --site bench --mqtt mqtt://127.0.0.1 --interface "$IPS_SEGMENT_IF" \
      --spool "$work/spool" >"$work/agent.log" 2>&1 &
    agent=$!
    cpu() { awk "{ print \$14 + \$15 }" "/proc/$agent/stat"; }
    # Settle: every device published once, the first rounds over.
    for _ in $(seq 1 120); do
      n=$(timeout 5 mosquitto_sub -h 127.0.0.1 -t "ipscanner/bench/devices/+" -W 2 2>/dev/null | wc -l)
      [ "$n" -ge "$devices" ] && break
      sleep 1
    done
    sleep 20
    # Every live publication of the site during the window (-R: not the retained ones that a
    # new subscriber is sent first).
    c0=$(cpu); t0=$(date +%s.%N)
    timeout "$seconds" mosquitto_sub -h 127.0.0.1 -R -v -t "ipscanner/bench/#" >"$work/live.txt"
    c1=$(cpu); t1=$(date +%s.%N)
    m0=0; m1=$(wc -l <"$work/live.txt")
    hz=$(getconf CLK_TCK)
    awk -v d="$devices" -v s="$seconds" -v m0="$m0" -v m1="$m1" -v c0="$c0" -v c1="$c1" \
        -v t0="$t0" -v t1="$t1" -v hz="$hz" "BEGIN {
      wall = t1 - t0;
      printf \"devices %d, %.0f s: %d messages from the agent (%.1f a minute), agent CPU %.2f %% of one core\\n\",
        d, wall, m1 - m0, (m1 - m0) * 60 / wall, (c1 - c0) / hz * 100 / wall }"
    kill $agent; wait $agent
    kill $broker; wait $broker 2>/dev/null
  ' _ "$bin" "$work" "$devices" "$seconds"
