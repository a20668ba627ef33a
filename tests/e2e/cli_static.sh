#!/usr/bin/env bash
# `ipscanner-cli static` on a virtual segment with devsim:
#   1. --all on 1,000 DHCP devices: every device turns static with the address and settings it
#      had, well within the run's timing (the figure is printed);
#   2. named devices (MAC in another spelling, IP) and --model with some devices muted for
#      configuration requests: those fail with their reason, the others succeed, exit 11;
#   3. a device nobody answers to: exit 6; devices together with --all: exit 1.
set -uo pipefail
bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner-cli
need_tools jq
make_work ips-e2e-static
fail=0

# MAC texts in every form devices use (upper or lower case, with or without colons, with or
# without a WorkMAC): each device's frames must still be matched to its entry.
IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 1000 --static-share 0 --mac-forms mixed --seed 3 --fleet-file $work/fleet.json --state-file $work/state.json" \
  -- bash -c 'start=$(date +%s%N)
              "$0" static --all --expect 1000 --seconds 10 --interface "$IPS_SEGMENT_IF" --json >"$1/all.json" 2>"$1/all.err"
              echo $? >"$1/all.rc"; echo $(( ($(date +%s%N) - start) / 1000000 )) >"$1/all.ms"' \
     "$bin/ipscanner-cli" "$work"
[ -f "$work/all.rc" ] || fail "the segment did not run the command"
echo "static --all on 1000 devices: exit $(cat "$work/all.rc") after $(cat "$work/all.ms") ms (discovery included)"
grep "devices static after" "$work/all.err"
check "exit 0 when every device succeeded" [ "$(cat "$work/all.rc")" = 0 ] || cat "$work/all.err"
check "1000 rows, all Success with no reason" \
  jq -e 'length == 1000 and all(.[]; .status == "Success" and .reason == "")' "$work/all.json"
check "the rows carry ip, mac and model" jq -e 'all(.[]; .ip != "" and .mac != "" and .model != "")' "$work/all.json"
check "well within the run's timing (21 s)" [ "$(cat "$work/all.ms")" -lt 21000 ]
# devsim's state: every device static, on the address and settings it had under DHCP.
jq -S '[.[] | {mac, ip, gateway, netmask, primaryDns}] | sort_by(.mac)' "$work/fleet.json" >"$work/before.json"
jq -S '[.[] | {mac, ip: .staticIp, gateway, netmask, primaryDns}] | sort_by(.mac)' "$work/state.json" >"$work/after.json"
check "devsim: all 1000 static" jq -e 'all(.[]; .dhcp == false)' "$work/state.json"
check "devsim: static on their old addresses and settings" diff -q "$work/before.json" "$work/after.json"

# 40 devices, 4 of them (indexes 0, 10, 20, 30) ignoring configuration requests.
IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 40 --static-share 0 --empty-model-share 0 --mac-forms mixed --mute-config 4 --seed 4 --fleet-file $work/fleet2.json" \
  -- bash -c 'cli=$0 w=$1
    # Device 0 (muted) by a lower-case MAC with colons, device 1 by IP, device 2 by its MAC.
    mac0=$(jq -r ".[0].macBytes | ascii_downcase | [scan(\"..\")] | join(\":\")" "$w/fleet2.json")
    ip1=$(jq -r ".[1].ip" "$w/fleet2.json"); mac2=$(jq -r ".[2].mac" "$w/fleet2.json")
    "$cli" static "$mac0" "$ip1" "$mac2" "$ip1" --seconds 5 --interface "$IPS_SEGMENT_IF" >"$w/named.txt" 2>"$w/named.err"
    echo $? >"$w/named.rc"
    model=$(jq -r ".[10].model" "$w/fleet2.json")
    "$cli" static --all --model "$(echo "$model" | tr a-z A-Z)" --expect 40 --seconds 5 --interface "$IPS_SEGMENT_IF" --json >"$w/model.json" 2>"$w/model.err"
    echo $? >"$w/model.rc"
    "$cli" static 02:99:99:99:99:99 --seconds 2 --interface "$IPS_SEGMENT_IF" >/dev/null 2>"$w/missing.err"
    echo $? >"$w/missing.rc"
    "$cli" static --all "$ip1" --interface "$IPS_SEGMENT_IF" >/dev/null 2>"$w/usage.err"
    echo $? >"$w/usage.rc"' \
     "$bin/ipscanner-cli" "$work"

check "named devices: exit 11 when one failed" [ "$(cat "$work/named.rc" 2>/dev/null)" = 11 ] || cat "$work/named.err"
check "named devices: three rows (a device named twice counts once)" [ "$(wc -l <"$work/named.txt")" -eq 4 ]
check "the muted device failed with its reason" \
  grep -q "$(jq -r '.[0].ip' "$work/fleet2.json") .*Failed (no answer before configure)" "$work/named.txt"
check "the device named by IP succeeded" grep -q "$(jq -r '.[1].ip' "$work/fleet2.json") .*Success" "$work/named.txt"
check "no live lines when stdout is not a terminal" [ "$(grep -c Success "$work/named.txt")" -eq 2 ]
model=$(jq -r '.[10].model' "$work/fleet2.json")
expected=$(jq --arg m "$model" '[.[] | select(.model == $m)] | length' "$work/fleet2.json")
check "--model takes only that model, ignoring case" \
  jq -e --arg m "$model" --argjson n "$expected" 'length == $n and all(.[]; .model == $m)' "$work/model.json"
check "--model: the muted device of that model failed, exit 11" \
  jq -e '[.[] | select(.status == "Failed")] | length == 1 and .[0].reason == "no answer before configure"' "$work/model.json"
check "--model exit 11" [ "$(cat "$work/model.rc")" = 11 ]
check "unknown device: exit 6" [ "$(cat "$work/missing.rc")" = 6 ]
check "devices and --all together: exit 1" [ "$(cat "$work/usage.rc")" = 1 ]

[ $fail -eq 0 ] && echo "PASS: ipscanner-cli static"
exit $fail
