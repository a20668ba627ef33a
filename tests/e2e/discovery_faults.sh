#!/usr/bin/env bash
# Bad datagrams are dropped with a log line and change nothing: a fleet in which some devices
# garble their discovery answers, cut them short or lose them, plus foreign datagrams on port
# 8500 (no header magic, a corrupt answer, a header claiming more than arrived, an unknown
# message ID) sent while the scan listens. Exactly the healthy devices must be listed, with
# their right fields, and the log must carry the drop lines. Exit 77 when no segment is possible.
set -uo pipefail
bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner-cli logview
need_tools jq
make_work ips-e2e-faults

cat >"$work/steps.sh" <<'STEPS'
set -uo pipefail
bin=$1 work=$2
"$bin/logview" --port 106 --timeout 30 >"$work/log.txt" 2>&1 &
logview_pid=$!
"$bin/ipscanner-cli" scan --interface "$IPS_SEGMENT_IF" --seconds 3 --json >"$work/scan.json" 2>"$work/scan.err" &
scan_pid=$!
# A plain socket on port 8500 takes the foreign datagrams on the program's side, so the kernel
# answers none of them with "port unreachable" (which would fail the next send).
"$bin/devsim" --probe-recv --probe-port 8500 --probe-count 4 --probe-timeout-ms 5000 >"$work/probe.txt" 2>&1 &
probe_pid=$!
sleep 1
# Foreign datagrams from the device side to the program's address, port 8500.
# Each datagram is written to a file first and sent with one write, so it stays one datagram.
printf "hello, not a device" >"$work/foreign1"
printf "\xbc\xde\x00\x00\x21\x11\x00\x0a\x00\x20AAAAAAAAAAAAAAAABBBBBBBBBBBBBBBB" >"$work/foreign2"
printf "\xbc\xde\x00\x00\x21\x11\x00\x0a\x03\xe8short" >"$work/foreign3"
printf "\xbc\xde\x00\x00\x55\x15\x00\x0a\x00\x04abcd" >"$work/foreign4"
for f in 1 2 3 4; do
  ip netns exec "$IPS_SEGMENT_DEV_NS" bash -c "cat '$work/foreign$f' >/dev/udp/$IPS_SEGMENT_APP_IP/8500"
done
wait "$scan_pid"
echo $? >"$work/scan.rc"
wait "$probe_pid"
sleep 0.3
kill "$logview_pid" 2>/dev/null
wait "$logview_pid" 2>/dev/null
STEPS

IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 60 --envelope mixed --workmac-differ-share 0.3 --empty-model-share 0.3 --corrupt-share 0.1 --truncate-share 0.1 --drop-share 0.05 --seed 23 --fleet-file $work/fleet.json" \
  -- bash "$work/steps.sh" "$bin" "$work"

fail=0
check "foreign datagrams were sent" [ "$(wc -l <"$work/probe.txt")" -ge 4 ]
check "scan exits 0" [ "$(cat "$work/scan.rc" 2>/dev/null)" = 0 ] || sed 's/^/  | /' "$work/scan.err"
for fault in corrupt truncate drop; do
  check "fleet has $fault devices" jq -e --arg f "$fault" '[.[] | select(.fault == $f)] | length > 0' "$work/fleet.json"
done
jq -S '[.[] | select(.fault == "") | {ip, mac, room: .deviceId, firmware, model: .expectedModel,
              work_mac: (if .workMac == "" then .mac else (.workMac | gsub(":"; "") | ascii_upcase) end)}]
       | sort_by(.mac)' "$work/fleet.json" >"$work/expected.json"
jq -S '[.[] | {ip, mac, room, firmware, model, work_mac}] | sort_by(.mac)' "$work/scan.json" >"$work/actual.json" 2>/dev/null
if ! diff -u "$work/expected.json" "$work/actual.json" >"$work/diff.txt"; then
  echo "FAIL: listed devices are not exactly the healthy ones:"; head -40 "$work/diff.txt"; fail=1
else
  echo "ok: exactly the $(jq length "$work/expected.json") healthy devices, right fields"
fi
check "corrupt answers logged" grep -q "CControl::OnSocketMsg: ParseDiscoverAckMsg failed." "$work/log.txt"
check "truncated answers logged" grep -q "CControl::OnSocketMsg: malformed or truncated datagram" "$work/log.txt"
check "foreign datagram without magic only received" grep -q "MacProtoRecvThread:Recv Multicast/UDP from(10.213.0.2:" "$work/log.txt"
check "unknown message ID reached the core" grep -q "CControl::OnSocketMsg: (10.213.0.2:[0-9]*)ID = 0x555" "$work/log.txt"

[ $fail -eq 0 ] && echo "PASS: bad datagrams dropped with log lines, healthy devices listed"
exit $fail
