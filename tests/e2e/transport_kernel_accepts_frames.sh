#!/usr/bin/env bash
# Frames built and injected by CMacProtoControl pass the receiving kernel's own IPv4 and UDP
# checks: a plain UDP socket in the device namespace receives them byte for byte, from port
# 8505, for even and odd datagram lengths. A frame with a wrong UDP checksum sent first must
# not arrive, which shows that the kernel does check.
# Usage: transport_kernel_accepts_frames.sh <module_dir> <source_dir>; exit 77 = skipped.
set -u
bin=$1 src=$2
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns
need_built devsim netprobe
make_work

payload_even=$(printf 'bcde%0396x' 0 | sed 's/0000/a5c3/g')   # 200 bytes
payload_odd=bcde0102030405                                      # 7 bytes

"$src/scripts/segment.sh" --quiet --no-devsim -- bash -c '
  set -u
  ip netns exec "$IPS_SEGMENT_DEV_NS" "'"$bin"'/devsim" --probe-recv --probe-count 2 \
    --probe-timeout-ms 5000 --ready-file "'"$work"'/ready" > "'"$work"'/received" &
  probe=$!
  for _ in $(seq 100); do [ -f "'"$work"'/ready" ] && break; sleep 0.05; done
  send() { "'"$bin"'/netprobe" --interface "$IPS_SEGMENT_IF" send --to-ip "$IPS_SEGMENT_DEV_IP" \
             --to-mac "$IPS_SEGMENT_DEV_MAC" "$@" >/dev/null; }
  send --hex '"$payload_odd"' --break-udp-checksum || exit 11
  send --hex '"$payload_even"' || exit 12
  send --hex '"$payload_odd"' || exit 13
  wait $probe
'
rc=$?
[ $rc -eq 0 ] || { echo "FAIL: probe or sender failed ($rc)"; cat "$work/received"; exit 1; }

expected="{\"from\":\"10.213.0.1\",\"port\":8505,\"length\":200,\"hex\":\"$payload_even\"}
{\"from\":\"10.213.0.1\",\"port\":8505,\"length\":7,\"hex\":\"$payload_odd\"}"
if [ "$(cat "$work/received")" != "$expected" ]; then
  echo "FAIL: the device-side socket received:"; cat "$work/received"
  echo "expected:"; echo "$expected"
  exit 1
fi
echo "ok: kernel accepted both frames and dropped the one with a broken checksum"
