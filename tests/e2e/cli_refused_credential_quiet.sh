#!/usr/bin/env bash
# A wrong password and a quiet computer, on a virtual segment with devsim:
#   1. `assign --all` with a password the 30 devices refuse stops after the first refusals: at
#      most three authenticate requests in the capture and no update; exit 7 names the refusal
#      and the devices it was not tried on. With the right password on the same devices every
#      one is moved (the refusal left nothing behind).
#   2. During a scan of 20 devices the computer sends nothing but the program's own frames: no
#      ICMP "port unreachable" for the devices' answers to its port 8505, nor the ARP requests
#      its kernel sends before such an answer; a capture on the device side shows none (while it
#      shows the ICMP the computer sends for a datagram to a closed port, so it would see them).
#      With another program holding 8505, the scan says so on stderr and still lists every
#      device.
set -uo pipefail
bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner-cli
need_tools jq tcpdump python3
make_work ips-e2e-quiet
fail=0

cat >"$work/steps.sh" <<'STEPS'
set -uo pipefail
cli=$1 work=$2
common=(--interface "$IPS_SEGMENT_IF" --expect 30 --seconds 10 --gateway 10.213.0.5)
# Starts a capture (tcpdump arguments after the file) and waits until it listens.
capture() {
  local file=$1
  shift
  "$@" --immediate-mode -Z root -U -w "$file" 2>"$file.err" &
  capture_pid=$!
  for _ in $(seq 1 50); do grep -q "listening on" "$file.err" && break; sleep 0.1; done
}
stop_capture() { sleep 0.3; kill "$capture_pid"; wait "$capture_pid" 2>/dev/null; }

# 1. The wrong password, then the right one.
capture "$work/wrong.pcap" tcpdump -i "$IPS_SEGMENT_IF" udp port 8500
IPSCANNER_PASSWORD=wrong "$cli" assign --all --from 10.213.0.20 --user admin "${common[@]}" \
  >"$work/wrong.out" 2>"$work/wrong.err"
echo $? >"$work/wrong.rc"
stop_capture
"$cli" decode "$work/wrong.pcap" >"$work/wrong.decode" 2>/dev/null
IPSCANNER_PASSWORD=admin "$cli" assign --all --from 10.213.0.20 --user admin --json "${common[@]}" \
  >"$work/right.json" 2>"$work/right.err"
echo $? >"$work/right.rc"

# 2. What the computer sends besides the program's own frames, seen on the device side. Its
# kernel would answer each device reply with ICMP "port unreachable" (asking ARP for the
# device's address first); a datagram from the device namespace's own kernel to a closed port
# shows that the capture sees such answers.
capture "$work/quiet.pcap" ip netns exec "$IPS_SEGMENT_DEV_NS" tcpdump -i "$IPS_SEGMENT_DEV_IF" -n \
  "ether src $IPS_SEGMENT_APP_MAC and not (udp src port 8505 and udp dst port 8500)"
ip netns exec "$IPS_SEGMENT_DEV_NS" bash -c "echo probe >/dev/udp/$IPS_SEGMENT_APP_IP/8506"
"$cli" scan --interface "$IPS_SEGMENT_IF" --expect 20 --seconds 6 --json >"$work/scan.json" 2>"$work/scan.err"
echo $? >"$work/scan.rc"
sleep 1  # the kernel's ARP requests for the devices come up to a second after their replies
stop_capture
tcpdump -nr "$work/quiet.pcap" 2>/dev/null >"$work/quiet.txt"
# Left out: the control datagram's exchange, and the kernel telling devices its own address.
grep -v -F -e "$IPS_SEGMENT_DEV_IP" -e "Reply $IPS_SEGMENT_APP_IP is-at" "$work/quiet.txt" \
  >"$work/quiet.devices"

# Another program holds the port.
python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", 8505))
print("held", flush=True)
time.sleep(120)' >"$work/holder.out" &
holder=$!
for _ in $(seq 1 50); do grep -q held "$work/holder.out" && break; sleep 0.1; done
"$cli" scan --interface "$IPS_SEGMENT_IF" --expect 20 --seconds 6 --json >"$work/held.json" 2>"$work/held.err"
echo $? >"$work/held.rc"
kill "$holder"; wait "$holder" 2>/dev/null
STEPS

# 30 DHCP devices (20 of them for the scan would do; all answer it).
IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 30 --static-share 0 --seed 33" \
  -- bash "$work/steps.sh" "$bin/ipscanner-cli" "$work"
[ -f "$work/held.rc" ] || fail "the segment did not run the commands"
show() { sed 's/^/  | /' "$@"; }

auths=$(grep -c '| MSG_AUTHENTICATE (0x' "$work/wrong.decode")
echo "wrong password on 30 devices: $auths authenticate requests, exit $(cat "$work/wrong.rc")"
check "wrong password: exit 7" [ "$(cat "$work/wrong.rc")" = 7 ] || show "$work/wrong.err"
check "wrong password: one to three authenticate requests" [ "$auths" -ge 1 -a "$auths" -le 3 ]
check "wrong password: no update" bash -c "! grep -q '| MSG_UPDATE_CONFIG (0x' '$work/wrong.decode'"
check "wrong password: the refusal and the untried devices are named" \
  grep -q "refused the user name or password.*not tried on the other 27 devices" "$work/wrong.err"
check "wrong password: untried devices listed as such" \
  [ "$(grep -c 'not tried: the credential was refused' "$work/wrong.out")" = 27 ]
check "right password afterwards: exit 0, 30 devices moved" \
  jq -e 'length == 30 and all(.[]; .status == "Success")' "$work/right.json" || show "$work/right.err"

check "scan: exit 0 with 20 or more devices" [ "$(cat "$work/scan.rc")" = 0 ] || show "$work/scan.err"
check "the device-side capture sees the computer's ICMP for a closed port" \
  grep -q "udp port 8506 unreachable" "$work/quiet.txt" || show "$work/quiet.txt"
check "scan: the computer sent nothing to the devices but the program's frames" \
  [ ! -s "$work/quiet.devices" ] || show "$work/quiet.devices"
check "port held by another program: the scan says so" \
  grep -q "UDP port 8505 is held by another program" "$work/held.err" || show "$work/held.err"
check "port held by another program: the scan still finds the devices" \
  [ "$(cat "$work/held.rc")" = 0 ] || show "$work/held.err"
exit $fail
