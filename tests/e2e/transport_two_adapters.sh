#!/usr/bin/env bash
# With two adapters open, one sent record leaves twice, once per adapter, each frame with that
# adapter's own source MAC and IPv4 address, and with IPv4 identifications 29181 and 29182
# (the counter's first values in a fresh process, one per frame).
# Usage: transport_two_adapters.sh <module_dir> <source_dir>; exit 77 = skipped.
set -u
bin=$1 src=$2
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns
need_built netprobe
need_tools tcpdump
make_work

"$src/scripts/segment.sh" --quiet --links 2 --no-devsim -- bash -c '
  ip netns exec "$IPS_SEGMENT_DEV_NS" timeout 10 tcpdump -i any -nn -e -v -c 2 -l "udp dst port 8500" \
    > "'"$work"'/frames" 2>"'"$work"'/tcpdump.err" &
  dump=$!
  for _ in $(seq 100); do grep -q "listening" "'"$work"'/tcpdump.err" 2>/dev/null && break; sleep 0.05; done
  "'"$bin"'/netprobe" --all-interfaces send --to-ip "$IPS_SEGMENT_DEV_IP" --to-mac "$IPS_SEGMENT_DEV_MAC" \
    --hex bcde0102030405 >/dev/null || exit 11
  wait $dump || exit 12
  echo "$IPS_SEGMENT_APP_MAC $IPS_SEGMENT_APP_IP $IPS_SEGMENT_APP_MAC2 $IPS_SEGMENT_APP_IP2" > "'"$work"'/addresses"
'
rc=$?
[ $rc -eq 0 ] || { echo "FAIL: segment run failed ($rc)"; cat "$work/frames" "$work/tcpdump.err"; exit 1; }
read -r mac1 ip1 mac2 ip2 < "$work/addresses"
# One line per frame: "<source MAC> <id> <source IP>".
# tcpdump -v writes a frame on two lines; the second one is indented.
summary=$(awk '/^[^ ]/ { if (line != "") print line; line = $0; next } { line = line " " $0 }
               END { if (line != "") print line }' "$work/frames" |
  sed -n 's/.* \([0-9a-f:]\{17\}\) ethertype IPv4.* id \([0-9]*\),.* \([0-9.]*\)\.8505 > .*/\1 \2 \3/p' | sort -k2)
fail=0
for want in "$mac1 $ip1" "$mac2 $ip2"; do
  set -- $want
  grep -q "^$1 2918[12] $2$" <<<"$summary" || { echo "FAIL: no frame from $1 / $2"; fail=1; }
done
ids=$(awk '{print $2}' <<<"$summary" | sort | tr '\n' ' ')
[ "$ids" = "29181 29182 " ] || { echo "FAIL: identifications $ids"; fail=1; }
if [ $fail -ne 0 ]; then cat "$work/frames"; echo "$summary"; exit 1; fi
echo "ok: one frame per adapter with its own addresses, ids $ids"
