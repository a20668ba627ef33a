#!/usr/bin/env bash
# Discovery at scale, on a virtual segment: for each fleet size, the time from the discovery
# request until every simulated device is in the control core's table, and the share of devices
# whose answer to that single discovery was lost. A benchmark, not a test: it prints figures.
#
#   bench/bench_discovery.sh [module folder, default build/bin] [sizes, default "1000 5000"]
# Environment: IPS_BENCH_RUNS (runs per case, default 3), IPS_BENCH_PPS (devsim's paced send
# rates to try, default "20000 1000000": paced, and effectively a burst), IPS_BENCH_SECONDS (the
# scan's length, default 4: one discovery), IPS_BENCH_VIA_HELPER=1 (the CLI runs as the
# unprivileged user nobody from a copy of the module folder whose capture helper has
# cap_net_raw, so every frame goes through the helper, as for a normal user of the package).
# The last column is the capture's drop count from the scan's summary.
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
seconds=${IPS_BENCH_SECONDS:-4}
work=$(mktemp -d /tmp/ips-bench-XXXXXX)
trap '[ -n "${IPS_BENCH_KEEP:-}" ] || rm -rf "$work"' EXIT
run_as=()
cli=$bin/ipscanner-cli
if [ "${IPS_BENCH_VIA_HELPER:-0}" = 1 ]; then
  command -v setpriv >/dev/null || { echo "bench_discovery: setpriv missing" >&2; exit 1; }
  chmod 1777 "$work"  # the scan, run as nobody, writes its output here
  mkdir -p "$work/mod" "$work/home"
  cp "$bin/ipscanner-cli" "$bin/ipscanner-capture" "$work/mod/"
  cp -r "$bin/config" "$work/mod/" && rm -f "$work/mod/config/SystemSetting.ini"
  touch "$work/mod/read-only"
  # Installed, the helper is root:ipscanner 0750 and the user is a member of the group; the
  # copy is the same when the group exists, and open to all otherwise.
  groups=(--clear-groups)
  if gid=$(getent group ipscanner | cut -d: -f3) && [ -n "$gid" ]; then
    chgrp ipscanner "$work/mod/ipscanner-capture" && chmod 0750 "$work/mod/ipscanner-capture"
    groups=(--groups="$gid")
  else
    chmod 0755 "$work/mod/ipscanner-capture"
  fi
  setcap cap_net_raw+ep "$work/mod/ipscanner-capture" || { echo "bench_discovery: setcap failed" >&2; exit 1; }
  chown 65534:65534 "$work/home"
  run_as=(env HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache"
    XDG_DATA_HOME="$work/home/data" setpriv --reuid=65534 --regid=65534 "${groups[@]}")
  cli=$work/mod/ipscanner-cli
fi

printf '%-8s %-9s %-4s %-12s %-10s %-10s %s\n' devices pps run all_listed found lost_share drops
for n in $sizes; do
  for pps in $rates; do
    for run in $(seq 1 "$runs"); do
      # One discovery only by default: the scan listens 4 s, under the 5-second discovery period.
      IPS_DEVSIM="$bin/devsim" "$root/scripts/segment.sh" --quiet \
        --devsim "--count $n --envelope mixed --workmac-differ-share 0.2 --empty-model-share 0.2 --pps $pps --seed $run" \
        -- "${run_as[@]}" bash -c '"$0" scan --interface "$IPS_SEGMENT_IF" --seconds "$3" --expect "$1" --json >"$2/scan.json" 2>"$2/scan.err"' \
        "$cli" "$n" "$work" "$seconds"
      found=$(grep -o '"mac"' "$work/scan.json" | wc -l)
      drops=$(sed -n 's/.*"captureDrops":\([0-9]*\).*/\1/p' "$work/scan.err")
      ms=$(sed -n 's/.*listed after \([0-9]*\) ms.*/\1/p' "$work/scan.err")
      if [ -n "$ms" ]; then listed="$ms ms"; else listed="not all"; fi
      lost=$(awk -v n="$n" -v f="$found" 'BEGIN { printf "%.4f", (n - f) / n }')
      printf '%-8s %-9s %-4s %-12s %-10s %-10s %s\n' "$n" "$pps" "$run" "$listed" "$found" "$lost" "${drops:-?}"
    done
  done
done
