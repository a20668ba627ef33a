#!/usr/bin/env bash
# `ipscanner-cli assign` on a virtual segment with devsim:
#   1. 120 DHCP devices, 10 of them on one factory address and 5 in another subnet, and a
#      foreign host (a kernel address in the device namespace) inside the range. The range starts
#      at the adapter's own address and holds the gateway. A dry run and a plan file with a bad
#      row send no authenticate and no update (the capture shows it); the bad row is named by its
#      line. Then `--all --from --order room` puts every device static on a unique address of the
#      adapter's subnet, none on the adapter's, the gateway's or the foreign host's, ordered by
#      room; devsim's state agrees and a later scan sees each device at its new address.
#   2. 30 devices with addresses of their own: the record of an assignment, given back with
#      --plan, puts every device back on its old address.
set -uo pipefail
bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner-cli
need_tools jq tcpdump sqlite3
make_work ips-e2e-assign
fail=0
# The run's site record: a site of its own below the build's module folder, gone at the end.
site=e2e-assign-$$
site_db=$bin/sites/$site.sqlite
at_exit() { rm -f "$site_db" "$site_db-wal" "$site_db-shm"; }

factory=""
for i in $(seq 0 9); do factory="$factory --device-ip $i=192.168.1.100"; done
for i in $(seq 10 14); do factory="$factory --device-ip $i=172.16.0.$((i + 10))"; done

cat >"$work/steps.sh" <<'STEPS'
set -uo pipefail
cli=$1 work=$2 site=$3
export IPSCANNER_PASSWORD=admin
# The foreign host: the device namespace's kernel answers ARP for this address.
ip netns exec "$IPS_SEGMENT_DEV_NS" ip addr add 10.213.0.9/32 dev "$IPS_SEGMENT_DEV_IF"
common=(--interface "$IPS_SEGMENT_IF" --expect 120 --seconds 10 --gateway 10.213.0.5)

tcpdump -i "$IPS_SEGMENT_IF" --immediate-mode -Z root -U -w "$work/quiet.pcap" udp port 8500 or arp 2>"$work/tcpdump.err" &
tcpdump_pid=$!
for _ in $(seq 1 50); do grep -q "listening on" "$work/tcpdump.err" && break; sleep 0.1; done
"$cli" assign --all --from 10.213.0.1 --order room --dry-run --json "${common[@]}" >"$work/dry.json" 2>"$work/dry.err"
echo $? >"$work/dry.rc"
mac=$(jq -r '.[20].mac' "$work/fleet.json")
printf 'mac,ip\n%s,10.213.7.1\n%s,10.213.7.300\n' "$mac" "$mac" >"$work/bad.csv"
"$cli" assign --all --plan "$work/bad.csv" --user admin "${common[@]}" >"$work/bad.out" 2>"$work/bad.err"
echo $? >"$work/bad.rc"
sleep 0.3; kill "$tcpdump_pid"; wait "$tcpdump_pid" 2>/dev/null
"$cli" decode "$work/quiet.pcap" >"$work/quiet.decode" 2>/dev/null
tcpdump -nr "$work/quiet.pcap" arp 2>/dev/null >"$work/quiet.arp"

start=$(date +%s%N)
"$cli" assign --all --from 10.213.0.1 --order room --user admin --json --record "$work/record" --site "$site" "${common[@]}" >"$work/run.json" 2>"$work/run.err"
echo $? >"$work/run.rc"
echo $(( ($(date +%s%N) - start) / 1000000 )) >"$work/run.ms"
"$cli" scan --interface "$IPS_SEGMENT_IF" --expect 120 --seconds 10 --json >"$work/scan.json" 2>/dev/null
# Given back, the record would put ten devices on their one factory address: refused.
"$cli" assign --all --plan "$work/record.csv" --user admin "${common[@]}" >"$work/back.out" 2>"$work/back.err"
echo $? >"$work/back.rc"
STEPS

IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 120 --static-share 0 --seed 20 $factory --fleet-file $work/fleet.json --state-file $work/state.json" \
  -- bash "$work/steps.sh" "$bin/ipscanner-cli" "$work" "$site"
[ -f "$work/run.rc" ] || fail "the segment did not run the command"
show() { sed 's/^/  | /' "$@"; }

check "dry run: exit 0" [ "$(cat "$work/dry.rc")" = 0 ] || show "$work/dry.err"
check "dry run: 120 planned devices without conflicts" \
  jq -e 'length == 120 and all(.[]; .status == "Planned" and (.conflicts | length) == 0)' "$work/dry.json"
check "dry run: ARP probes went out from 0.0.0.0" grep -q "Request who-has 10.213.0.9 tell 0.0.0.0" "$work/quiet.arp"
check "dry run: the foreign host was skipped" grep -q "skipped 10.213.0.9 " "$work/dry.err"
check "bad plan row: exit 10" [ "$(cat "$work/bad.rc")" = 10 ] || show "$work/bad.err"
check "bad plan row: refused with its line number" grep -q "line 3: ip \"10.213.7.300\"" "$work/bad.err"
check "dry run and bad plan: discovery went out" grep -q "| MSG_DISCOVER (0x" "$work/quiet.decode"
check "dry run and bad plan: no authenticate and no update in the capture" \
  bash -c "! grep -q '| MSG_AUTHENTICATE (0x\|| MSG_UPDATE_CONFIG (0x' '$work/quiet.decode'"

echo "assign --all on 120 devices: exit $(cat "$work/run.rc") after $(cat "$work/run.ms") ms (discovery and probe included)"
check "assign: exit 0" [ "$(cat "$work/run.rc")" = 0 ] || show "$work/run.err"
check "assign: 120 rows, all Success" jq -e 'length == 120 and all(.[]; .status == "Success")' "$work/run.json"
check "site record: the assign operation with 120 devices, all ok" \
  [ "$(sqlite3 -batch -noheader "$site_db" "SELECT o.kind || ' ' || count(*) || ' ' || sum(d.result = 'ok') FROM operations o JOIN operation_devices d ON d.operation_id = o.id GROUP BY o.id")" = "assign 120 120" ]
# The password is "admin" as well: recorded, it would be a second "admin" in the parameters.
check "site record: the assign's parameters name the user and hold no password" \
  [ "$(sqlite3 -batch -noheader "$site_db" "SELECT json_extract(parameters, '\$.user') || ' ' || (parameters LIKE '%admin%admin%') FROM operations")" = "admin 0" ]
check "devsim: all 120 static" jq -e 'all(.[]; .dhcp == false)' "$work/state.json"
check "devsim: unique addresses in 10.213.0.0/16" \
  jq -e '[.[].staticIp] | (unique | length) == 120 and all(.[]; startswith("10.213."))' "$work/state.json"
check "devsim: none on the adapter's, the gateway's, the device side's or the foreign host's address" \
  jq -e '[.[].staticIp] | all(.[]; . != "10.213.0.1" and . != "10.213.0.2" and . != "10.213.0.5" and . != "10.213.0.9")' "$work/state.json"
check "devsim: the factory and other-subnet devices moved too" \
  jq -e '[.[] | select(.index < 15) | .staticIp | startswith("10.213.0.")] | all' "$work/state.json"
check "devsim: addresses follow the room order" \
  jq -e 'sort_by(.deviceId) | [.[].staticIp | split(".") | (.[2] | tonumber) * 256 + (.[3] | tonumber)] | . == sort' "$work/state.json"
check "devsim: the record's new addresses are the devices' addresses" \
  diff <(jq -r '.[] | "\(.macBytes) \(.staticIp)"' "$work/state.json" | sort) \
       <(jq -r '.[] | "\(.mac | gsub("[:-]"; "") | ascii_upcase) \(.new_ip)"' "$work/record.json" | sort)
check "a later scan sees every device at its new address" \
  diff <(jq -r '.[] | "\(.macBytes) \(.staticIp)"' "$work/state.json" | sort) \
       <(jq -r '.[] | "\(.mac | gsub("[:-]"; "") | ascii_upcase) \(.ip)"' "$work/scan.json" | sort)
check "the record back on the factory site: exit 10" [ "$(cat "$work/back.rc")" = 10 ] || show "$work/back.err"
check "the record back on the factory site: the shared address is named" \
  bash -c "[ \$(grep -c '192.168.1.100 .*same address planned for another device' '$work/back.out') -eq 10 ]"
check "the record back on the factory site: nothing was sent, all stay on their new address" \
  diff <(jq -r '.[] | "\(.macBytes) \(.staticIp)"' "$work/state.json" | sort) \
       <(jq -r '.[] | "\(.mac | gsub("[:-]"; "") | ascii_upcase) \(.new_ip)"' "$work/record.json" | sort)

# The record restores the old addresses on a site without shared factory addresses.
IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 30 --static-share 0.5 --seed 21 --fleet-file $work/fleet2.json --state-file $work/state2.json" \
  -- bash -c 'cli=$0 w=$1; export IPSCANNER_PASSWORD=admin
    args=(--interface "$IPS_SEGMENT_IF" --expect 30 --seconds 10 --user admin)
    IPSCANNER_PASSWORD=wrong "$cli" assign --all --from 10.213.9.1 --gateway 10.213.0.254 --json "${args[@]}" >"$w/wrong.json" 2>"$w/wrong.err"
    echo $? >"$w/wrong.rc"
    "$cli" assign --all --from 10.213.9.1 --order mac --gateway 10.213.0.254 --record "$w/rec2.csv" "${args[@]}" >/dev/null 2>"$w/move.err"
    echo $? >"$w/move.rc"
    jq -S "[.[] | {mac, staticIp}]" "$w/state2.json" >"$w/moved.json"
    "$cli" assign --all --plan "$w/rec2.csv" "${args[@]}" >/dev/null 2>"$w/restore.err"
    echo $? >"$w/restore.rc"' "$bin/ipscanner-cli" "$work"
check "wrong password: exit 7" [ "$(cat "$work/wrong.rc")" = 7 ] || show "$work/wrong.err"
check "wrong password: the first three refused it, the others were not tried" \
  jq -e 'length == 30 and all(.[]; .status == "Failed") and
         ([.[] | select(.reason == "authentication refused")] | length) == 3 and
         ([.[] | select(.reason == "not tried: the credential was refused")] | length) == 27' \
  "$work/wrong.json"
check "restore site: the move exits 0" [ "$(cat "$work/move.rc")" = 0 ] || show "$work/move.err"
check "restore site: the devices were moved" jq -e 'all(.[]; .staticIp | startswith("10.213.9."))' "$work/moved.json"
check "restore site: the record as a plan exits 0" [ "$(cat "$work/restore.rc")" = 0 ] || show "$work/restore.err"
check "restore site: every device back on its old address" \
  diff <(jq -r '.[] | "\(.mac) \(.ip) \(.netmask) \(.gateway)"' "$work/fleet2.json" | sort) \
       <(jq -r '.[] | "\(.mac) \(.staticIp) \(.netmask) \(.gateway)"' "$work/state2.json" | sort)

[ $fail -eq 0 ] && echo "PASS: ipscanner-cli assign"
exit $fail
