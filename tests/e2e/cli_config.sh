#!/usr/bin/env bash
# One device, end to end through the control core: authenticate answers reach the callback
# (right and wrong password), a RequestConfig is answered by a configuration report to the
# notify objects, an UpdateConfig changes the device's state in the simulator and its
# acknowledge reaches the wait slot, a reboot ends with a boot-up message to the notify objects.
# The traffic is captured in the program's namespace and `ipscanner-cli decode` must show every
# request and answer as plain XML. Runs on a virtual segment; exit 77 when that is impossible.
set -uo pipefail
bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner-cli
need_tools jq tcpdump
make_work ips-e2e-config

# The steps below run inside the program's namespace (segment.sh exports IPS_SEGMENT_*).
cat >"$work/steps.sh" <<'STEPS'
set -uo pipefail
cli=$1 work=$2
tcpdump -i "$IPS_SEGMENT_IF" --immediate-mode -Z root -U -w "$work/traffic.pcap" udp port 8500 2>"$work/tcpdump.err" &
tcpdump_pid=$!
for _ in $(seq 1 50); do grep -q "listening on" "$work/tcpdump.err" && break; sleep 0.1; done
stop_capture() { sleep 0.3; kill "$tcpdump_pid" 2>/dev/null; wait "$tcpdump_pid" 2>/dev/null; }
trap stop_capture EXIT

# A device whose frames come from a work MAC other than its MAC and that speaks the prefixed
# envelope: its answers decode only through the work-MAC mapping and the stored envelope mode.
mac=$(jq -r '[.[] | select(.envelope == "prefixed" and .workMacBytes != .macBytes)][0].mac' "$work/fleet.json")
ip=$(jq -r --arg m "$mac" '.[] | select(.mac == $m) | .ip' "$work/fleet.json")
echo "$mac" >"$work/mac"
run() { local name=$1; shift; "$cli" config --interface "$IPS_SEGMENT_IF" --mac "$mac" --seconds 5 "$@" >"$work/$name.out" 2>"$work/$name.err"; echo $? >"$work/$name.rc"; }
IPSCANNER_PASSWORD=admin run update --auth admin --get Config.Network.LAN.Type \
  --set Config.Network.LAN.Type=2 --set "Config.Network.LAN.StaticIP=$ip" \
  --set Config.Network.LAN.SubnetMask=255.255.0.0 --set Config.Network.LAN.DefaultGateway=10.213.0.254
run readback --get Config.Network.LAN.Type --get Config.Status.IP
echo wrong >"$work/wrong"
run badpass --auth admin --password-file "$work/wrong"
run inline --auth admin:admin
run reboot --reboot
stop_capture
"$cli" decode "$work/traffic.pcap" >"$work/decode.out" 2>"$work/decode.err"
echo $? >"$work/decode.rc"
STEPS

IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 6 --envelope mixed --workmac-differ-share 0.5 --seed 5 --reboot-ms 300 --fleet-file $work/fleet.json --state-file $work/state.json" \
  -- bash "$work/steps.sh" "$bin/ipscanner-cli" "$work"

fail=0
mac=$(cat "$work/mac" 2>/dev/null)
show() { for f in "$work"/"$1".out "$work"/"$1".err; do [ -s "$f" ] && sed 's/^/  | /' "$f"; done; }

check "update run exits 0" [ "$(cat "$work/update.rc")" = 0 ] || show update
check "authenticate accepted" grep -q '^authenticate: result 0 ' "$work/update.out"
check "report before the update shows DHCP" grep -qx '  Config.Network.LAN.Type=0' "$work/update.out"
check "acknowledge reached the wait slot" grep -q '^ack: MsgID=.* Result=OK' "$work/update.out"
check "device state changed in the simulator" \
  jq -e --arg m "$mac" '.[] | select(.mac == $m) | .dhcp == false and .staticIp == .ip' "$work/state.json"
check "readback exits 0" [ "$(cat "$work/readback.rc")" = 0 ] || show readback
check "readback shows the static type" grep -qx '  Config.Network.LAN.Type=2' "$work/readback.out"
check "wrong password is refused (exit 5)" [ "$(cat "$work/badpass.rc")" = 5 ] || show badpass
check "a password on the command line is refused (exit 1)" [ "$(cat "$work/inline.rc")" = 1 ] || show inline
check "refusal reached the callback" grep -q '^authenticate: result -1 ' "$work/badpass.out"
check "reboot exits 0" [ "$(cat "$work/reboot.rc")" = 0 ] || show reboot
check "boot-up reached the notify object" grep -qx "bootup: $mac" "$work/reboot.out"
check "simulator counted the boot" jq -e --arg m "$mac" '.[] | select(.mac == $m) | .bootCount == 1' "$work/state.json"

check "decode exits 0" [ "$(cat "$work/decode.rc")" = 0 ] || sed 's/^/  | /' "$work/decode.err"
for msg in MSG_DISCOVER MSG_DISCOVER_ACK MSG_AUTHENTICATE MSG_AUTHENTICATE_ACK MSG_REQUEST_CONFIG \
           MSG_REPORT_CONFIG MSG_UPDATE_CONFIG MSG_FROM_DEVICE_ACK MSG_REMOTE_CONTROL MSG_DEVICE_BOOTUP; do
  check "decode shows $msg" grep -q "| $msg (0x" "$work/decode.out"
done
check "both envelopes seen" bash -c "grep -q 'envelope bare' '$work/decode.out' && grep -q 'envelope prefixed' '$work/decode.out'"
check "every datagram decoded" bash -c "! grep -q 'not decoded\|not a device datagram' '$work/decode.out'"
# Every encrypted datagram is followed by its document.
check "documents in plain XML" bash -c "[ \$(grep -c ' envelope ' '$work/decode.out') -eq \$(grep -c '^<Msg>' '$work/decode.out') ]"
check "update document readable" grep -q "<Item>Config.Network.LAN.Type=2</Item>" "$work/decode.out"
check "passwords masked in the decode" bash -c "grep -q '<Pwd>\*\*\*\*\*\*\*\*</Pwd>' '$work/decode.out' && ! grep -q '<Pwd>admin\|<Pwd>wrong' '$work/decode.out'"

[ $fail -eq 0 ] && echo "PASS: config round trip, authenticate, boot-up and decode"
exit $fail
