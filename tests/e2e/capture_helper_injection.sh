#!/usr/bin/env bash
# What a member of the capture group can make the capture helper send. On a virtual segment,
# with a module folder of the test's own whose helper is root:<group> 0750 with cap_net_raw (as
# the package installs it), a member asks the real helper, through the relay the program uses
# (tests/relayinject), to inject forged frames: a syslog line from a forged 10.77.0.50 to 514,
# a DNS query with a forged source, a datagram from 161 to 8500, a broken IP header checksum,
# TTL 128, a type of service, the fragment and don't-fragment bits, a header length of 6, and a
# source address in the segment that is not the adapter's. Each must be refused (and counted),
# and a capture on the devices' side must see none of them, while the program's own frame gets
# through, also from an address the adapter got while the helper ran. The helper refuses the
# loopback interface.
# The users and the group are created here and removed at the end.
# Usage: capture_helper_injection.sh <module_dir> <source_dir>; exit 77 = skipped.
set -u
bin=$(realpath "$1") src=$(realpath "$2")
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns
need_built ipscanner-capture
need_tools runuser useradd userdel groupadd groupdel setcap tcpdump
tool=$(dirname "$bin")/tests/relayinject/relayinject
[ -x "$tool" ] || skip "the test front end relayinject is not built"
make_work ips-e2e-inject
chmod 755 "$work"
fail=0

group="ipsinj$$" member="ipsinjm$$"
made=""
at_exit() {
  local pid
  case " $made " in *" $member "*)
    for pid in $(pgrep -u "$member"); do kill -KILL "$pid" 2>/dev/null; done
    userdel -r "$member" >/dev/null 2>&1 ;;
  esac
  case " $made " in *" $group "*) groupdel "$group" >/dev/null 2>&1 ;; esac
}
groupadd "$group" && made="$group" || fail "cannot create group $group"
useradd -m -s /bin/bash -G "$group" "$member" && made="$made $member" || fail "cannot create $member"

mod=$work/mod
mkdir -p "$mod"
cp "$bin/ipscanner-capture" "$tool" "$mod/"
chmod -R a+rX "$mod"
chown "root:$group" "$mod/ipscanner-capture" && chmod 0750 "$mod/ipscanner-capture" &&
  setcap cap_net_raw+ep "$mod/ipscanner-capture" || fail "cannot set up the capture helper"

forged="syslog dns from161 badsum ttl tos fragment dontfragment ihl6 foreignsource"
later_ip=10.213.5.5

cat >"$work/steps.sh" <<'INNER'
set -u
# Everything that reaches the devices' side, unfiltered.
ip netns exec "$IPS_SEGMENT_DEV_NS" tcpdump -i "$IPS_SEGMENT_DEV_IF" -nn -U -Z root \
  -w "$work/device.pcap" 2>"$work/tcpdump.err" &
tcpdump=$!
for _ in $(seq 1 100); do grep -q "listening on" "$work/tcpdump.err" && break; sleep 0.05; done

coproc relay { runuser -u "$member" -- "$mod/relayinject" --helper "$mod/ipscanner-capture" \
  --interface "$IPS_SEGMENT_IF" --device-mac "$IPS_SEGMENT_DEV_MAC" \
  --device-ip "$IPS_SEGMENT_DEV_IP" 2>"$work/relay.err"; }
ask() {
  local answer=""
  echo "$*" >&"${relay[1]}"
  read -r -t 10 answer <&"${relay[0]}"
  echo "$answer" >>"$work/answers.txt"
}
for c in own $forged; do ask "$c"; done
# An address the adapter gets while the helper runs (a DHCP lease): the helper reads the
# adapter's addresses again, at most once a second, when a source is unknown.
ask own "$later_ip"
ip addr add "$later_ip/$IPS_SEGMENT_PREFIX" dev "$IPS_SEGMENT_IF"
sleep 1.2
ask own "$later_ip"
ask counters
eval "exec ${relay[1]}>&-"
wait "$relay_PID"

# The loopback interface: this computer's own traffic, no device's.
runuser -u "$member" -- "$mod/relayinject" --helper "$mod/ipscanner-capture" --interface lo \
  --device-mac 02:00:00:00:00:02 --device-ip 127.0.0.1 </dev/null >"$work/lo.out" 2>"$work/lo.err"
echo $? >"$work/lo.rc"

# The last frame injected comes from the address added during the run; on a busy machine it may
# take a moment to be written: wait for it (up to 5 s) rather than a fixed pause.
for _ in $(seq 1 50); do
  tcpdump -r "$work/device.pcap" -nn -A 2>/dev/null | grep -qF "<ips-inject:own@$later_ip>" && break
  sleep 0.1
done
sleep 0.2
kill "$tcpdump"
wait "$tcpdump" 2>/dev/null
tcpdump -r "$work/device.pcap" -nn -A 2>/dev/null >"$work/device.txt"
INNER
bin=$bin mod=$mod work=$work member=$member forged=$forged later_ip=$later_ip \
  "$src/scripts/segment.sh" --quiet --no-devsim -- bash "$work/steps.sh" ||
  fail "the steps on the segment failed"

answers=$(cat "$work/answers.txt" 2>/dev/null)
arrived() { grep -qF "<ips-inject:$1>" "$work/device.txt"; }
# Nothing of the case on the devices' side, in a capture that did see the program's frame.
never_arrived() { arrived own && ! arrived "$1"; }
check "the helper injects the program's own frame" grep -qx "own injected" <<<"$answers" ||
  { echo "$answers"; cat "$work/relay.err"; }
check "the program's frame reaches the devices' side" arrived own
for c in $forged; do
  check "the helper refuses $c" grep -qx "$c refused" <<<"$answers"
  check "no $c frame reaches the devices' side" never_arrived "$c"
done
check "a source the adapter does not have yet is refused, and injected once it has it" \
  test "$(grep "^own@$later_ip " <<<"$answers" | tr '\n' ' ')" = "own@$later_ip refused own@$later_ip injected "
check "the frame from that address reaches the devices' side" arrived "own@$later_ip"
check "the helper counted every refusal" grep -qx "refused 11" <<<"$answers" || echo "$answers"
check "the helper refuses the loopback interface" \
  test "$(cat "$work/lo.rc")" = 1 -a -n "$(grep -i loopback "$work/lo.err")" ||
  cat "$work/lo.err"
exit $fail
