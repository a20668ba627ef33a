#!/usr/bin/env bash
# The device commands of ipscanner-cli against devsim on a virtual segment: show (table and
# JSON, by MAC in another spelling and by IP), set static and back to DHCP, reboot, reset, an
# address two devices answer for (refused by set, static and upgrade alike), and every error
# exit code (bad input, device not found, authentication failed, no acknowledge,
# acknowledge not OK). The password is read from the environment and from a file, and appears
# in no output and in no log datagram (a log viewer listens on 127.0.0.1:106 in the namespace).
# Usage: cli_device_commands.sh <module_dir> <source_dir>; exit 77 = skipped.
set -uo pipefail
bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner-cli logview
need_tools jq
make_work ips-e2e-devcmd

secret='Zq7-Pw-4e2e!'
printf '%s\n' "$secret" >"$work/password"
printf 'wrong-%s\n' "$secret" >"$work/wrong"

cat >"$work/steps.sh" <<'STEPS'
set -uo pipefail
bin=$1 work=$2
cli=$bin/ipscanner-cli
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done; }
trap cleanup EXIT
"$bin/logview" --port 106 --timeout 600 >"$work/log.txt" 2>"$work/logview.err" &
pids+=($!)
for _ in $(seq 1 100); do grep -q listening "$work/logview.err" 2>/dev/null && break; sleep 0.05; done
# Two more simulators on the device side of the segment: one refuses every update, one never acknowledges.
for fault in "--update-result Failed" "--ignore-updates"; do
  n=${#pids[@]}
  ip netns exec "$IPS_SEGMENT_DEV_NS" "$bin/devsim" --interface "$IPS_SEGMENT_DEV_IF" --count 1 --base-ip 10.213.2.10$n \
    --base-mac 02:1A:2C:00:00:0$n --mac-forms upper --password "$(cat "$work/password")" \
    $fault --ready-file "$work/ready$n" >"$work/devsim$n.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 100); do [ -e "$work/ready$n" ] && break; sleep 0.05; done
done
run() {  # name args... : exit code, stdout and stderr kept under the name
  local name=$1; shift
  "$cli" "$@" --interface "$IPS_SEGMENT_IF" \
    >"$work/$name.out" 2>"$work/$name.err" </dev/null
  echo $? >"$work/$name.rc"
}
mac=$(jq -r '.[0].mac' "$work/fleet.json")
ip=$(jq -r '.[0].ip' "$work/fleet.json")
# The MAC in lower case with dashes: any spelling names the device.
spelled=$(echo "$mac" | tr 'A-F' 'a-f' | sed 's/../&-/g; s/-$//')
export IPSCANNER_PASSWORD=$(cat "$work/password")
run show_mac show "$spelled"
run show_json show "$ip" --json
run bad_ip set "$mac" --user admin --static 1.2.3 --gateway 10.213.0.254 --mask 255.255.0.0 --dns1 10.213.0.253
run bad_device show 02:1a:2b:zz:00:01
run not_found show 02:00:00:00:00:99 --seconds 2
# Two devices of the fleet share one address: naming it is refused by every command that takes
# DEVICE, the password never sent.
mkdir -p "$work/images" && head -c 4096 /dev/urandom >"$work/images/105.40.1.1.rom"
while read -r name args; do
  run "$name" $args
done <<ROWS
ambiguous set 010.213.9.9 --user admin --dhcp --seconds 3
ambiguous_static static 010.213.9.9 --seconds 3
ambiguous_upgrade upgrade --image $work/images/105.40.1.1.rom --seconds 3 010.213.9.9
ROWS
run wrong_password set "$mac" --user admin --dhcp --password-file "$work/wrong"
run set_static set "$spelled" --user admin --static 10.213.7.7 --gateway 10.213.0.254 \
  --mask 255.255.0.0 --dns1 10.213.0.253
cp "$work/state.json" "$work/state_static.json"
run show_moved show "$mac" --json
run set_dhcp set 10.213.7.7 --user admin --dhcp --password-file "$work/password"
cp "$work/state.json" "$work/state_dhcp.json"
run ack_not_ok set 021A2C000001 --user admin --dhcp
run no_ack set 021A2C000002 --user admin --dhcp
run reboot reboot "$mac" --user admin
run reset_asks reset "$mac" --user admin
run reset reset "$mac" --user admin --yes
unset IPSCANNER_PASSWORD
run no_password reboot "$mac" --user admin
sleep 0.3  # the last log datagrams
STEPS

IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 3 --seed 11 --static-share 0 --workmac-differ-share 0 --reboot-ms 200 --device-ip 1=10.213.9.9 --device-ip 2=10.213.9.9 --password $secret --fleet-file $work/fleet.json --state-file $work/state.json" \
  -- bash "$work/steps.sh" "$bin" "$work"

fail=0
rc() { cat "$work/$1.rc" 2>/dev/null; }
show() { for f in "$work/$1.out" "$work/$1.err"; do [ -s "$f" ] && sed 's/^/  | /' "$f"; done; return 0; }
expect_rc() { check "$1 exits $2" [ "$(rc "$1")" = "$2" ] || show "$1"; }
mac=$(jq -r '.[0].mac' "$work/fleet.json")
ip=$(jq -r '.[0].ip' "$work/fleet.json")
state() { jq -e --arg m "$mac" ".[] | select(.mac == \$m) | $2" "$work/$1.json"; }

expect_rc show_mac 0
check "show: DHCP device in a table" grep -Eq '^Addressing +dhcp$' "$work/show_mac.out"
check "show: its IP" grep -Eq "^IP Address +$ip\$" "$work/show_mac.out"
expect_rc show_json 0
check "show --json by IP" jq -e --arg ip "$ip" '.dhcp == true and .ip == $ip and .addressing == "dhcp" and (.gateway | length > 0)' "$work/show_json.out"
expect_rc bad_ip 10
check "bad IP named with the view's text" grep -q "Invalid IP Address." "$work/bad_ip.err"
expect_rc bad_device 10
expect_rc not_found 6
for name in ambiguous ambiguous_static ambiguous_upgrade; do
  expect_rc $name 6
  check "$name: the ambiguous address names both MACs" bash -c "grep -q 'more than one device answers for 010.213.9.9' '$work/$name.err' && [ \$(grep -o '02[0-9A-Fa-f:-]*' '$work/$name.err' | sort -u | wc -l) -ge 2 ]"
done
expect_rc wrong_password 7
check "wrong password told" grep -q "User or password incorrect." "$work/wrong_password.err"
expect_rc set_static 0
check "set static succeeded" grep -qx "Setting device configurations succeeded." "$work/set_static.out"
check "devsim took the static address" state state_static '.dhcp == false and .ip == "10.213.7.7" and .netmask == "255.255.0.0"' 
expect_rc show_moved 0
check "show finds the device at its new address" jq -e '.addressing == "static" and .ip == "10.213.7.7"' "$work/show_moved.out"
expect_rc set_dhcp 0
check "devsim is back on DHCP at its lease" state state_dhcp ".dhcp == true and .ip == \"$ip\""
expect_rc ack_not_ok 9
check "the refusal is shown" grep -q 'answered "Failed"' "$work/ack_not_ok.err"
expect_rc no_ack 8
expect_rc reboot 0
check "reboot told" grep -qx "Rebooting device succeeded." "$work/reboot.out"
expect_rc reset_asks 1
expect_rc reset 0
check "devsim rebooted twice (reboot, reset)" state state '.bootCount == 2'
expect_rc no_password 10

# The password: in no output, in no log line (and the log did receive the run's lines).
check "log lines arrived" grep -q "set wait mac is" "$work/log.txt"
check "password in no output or log" bash -c "! grep -rlF -e '$secret' '$work'/*.out '$work'/*.err '$work/log.txt'"

[ $fail -eq 0 ] && echo "PASS: device commands end to end"
exit $fail
