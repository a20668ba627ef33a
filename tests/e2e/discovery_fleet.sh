#!/usr/bin/env bash
# 200 simulated devices of mixed kinds (both envelopes, some with a work MAC that differs from
# the MAC, some without a model) are all discovered by `ipscanner-cli scan` with the right IP,
# MAC, work MAC, model (the catalog's name when the device sends none), room and firmware; the
# table, JSON and CSV outputs agree. Runs on a virtual segment; exit 77 when that is impossible.
set -uo pipefail
bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner-cli
need_tools jq
make_work ips-e2e-fleet

IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 200 --envelope mixed --workmac-differ-share 0.3 --empty-model-share 0.3 --seed 11 --fleet-file $work/fleet.json" \
  -- bash -c '"$0" scan --interface "$IPS_SEGMENT_IF" --seconds 4 --json --csv "$1/devices.csv" >"$1/scan.json" 2>"$1/scan.err" &&
              "$0" scan --interface "$IPS_SEGMENT_IF" --seconds 2 >"$1/scan.txt" 2>>"$1/scan.err"' \
     "$bin/ipscanner-cli" "$work"
rc=$?
if [ $rc -ne 0 ]; then
  echo "FAIL: scan exited $rc"; cat "$work/scan.err"; exit 1
fi

fail=0
# The fleet must really be mixed, or the comparison proves less than it claims.
jq -e '[.[] | select(.envelope == "prefixed")] | length > 20' "$work/fleet.json" >/dev/null || { echo "FAIL: fleet has too few prefixed devices"; fail=1; }
jq -e '[.[] | select(.envelope == "bare")] | length > 20' "$work/fleet.json" >/dev/null || { echo "FAIL: fleet has too few bare devices"; fail=1; }
jq -e '[.[] | select(.model == "")] | length > 20' "$work/fleet.json" >/dev/null || { echo "FAIL: fleet has too few devices without model"; fail=1; }
jq -e '[.[] | select(.workMacBytes != .macBytes)] | length > 20' "$work/fleet.json" >/dev/null || { echo "FAIL: fleet has too few differing work MACs"; fail=1; }

# What the program should list for each device of the fleet.
jq -S '[.[] | {ip, mac, room: .deviceId, firmware, model: .expectedModel,
              work_mac: (if .workMac == "" then .mac else (.workMac | gsub(":"; "") | ascii_upcase) end)}]
       | sort_by(.mac)' "$work/fleet.json" >"$work/expected.json"
jq -S '[.[] | {ip, mac, room, firmware, model, work_mac}] | sort_by(.mac)' "$work/scan.json" >"$work/actual.json"
# Every device answered just now: online, no problem on this clean fleet.
jq -e 'all(.[]; .status == "online" and .problems == [] and (.first_seen | test("Z$")))' \
  "$work/scan.json" >/dev/null || { echo "FAIL: status fields of the JSON"; fail=1; }
if ! diff -u "$work/expected.json" "$work/actual.json" >"$work/diff.txt"; then
  echo "FAIL: discovered devices differ from the fleet:"; head -60 "$work/diff.txt"; fail=1
fi

# The listing is ordered by IP, numerically.
jq -r '.[].ip' "$work/scan.json" >"$work/ips.txt"
sort -t . -k1,1n -k2,2n -k3,3n -k4,4n "$work/ips.txt" | cmp -s - "$work/ips.txt" || { echo "FAIL: JSON not ordered by IP"; fail=1; }

# CSV: header, 200 CR LF rows numbered from 1, same devices as the JSON.
csv="$work/devices.csv"
[ "$(head -c 3 "$csv" | od -An -tx1 | tr -d ' ')" != "efbbbf" ] || { echo "FAIL: CSV has a byte-order mark"; fail=1; }
# The site's columns come after the list's own, which stay as they were.
head -1 "$csv" | cmp -s - <(printf 'Index,"IP Address","MAC Address","Model","Room Number","Firmware Version","Status","Problems"\r\n') || { echo "FAIL: CSV header"; fail=1; }
[ "$(grep -c $'\r$' "$csv")" -eq 201 ] || { echo "FAIL: CSV does not have 201 CR LF lines"; fail=1; }
[ "$(sed -n '201p' "$csv" | cut -d, -f1)" = 200 ] || { echo "FAIL: CSV numbering"; fail=1; }
jq -r 'to_entries[] | "\(.key + 1),\"\(.value.ip)\",\"\(.value.mac)\",\"\(.value.model)\",\"\(.value.room)\",\"\(.value.firmware)\"\r"' \
  "$work/scan.json" | cmp -s - <(tail -n +2 "$csv" | sed 's/,"Online",""\r$/\r/') || { echo "FAIL: CSV rows differ from the JSON"; fail=1; }

# The table: a header and one line per device, each carrying its IP and MAC.
[ "$(wc -l <"$work/scan.txt")" -eq 201 ] || { echo "FAIL: table has $(wc -l <"$work/scan.txt") lines"; fail=1; }
jq -r '.[] | "\(.ip) \(.mac)"' "$work/scan.json" | while read -r ip mac; do
  grep -q " $ip  *$mac " "$work/scan.txt" || { echo "FAIL: table lacks $ip $mac"; exit 1; }
done || fail=1

[ $fail -eq 0 ] && echo "PASS: 200 devices discovered with the right fields"
exit $fail
