#!/usr/bin/env bash
# `ipscanner-cli watch --json` on a site of 300 simulated devices, where 10 go quiet for 20 s and
# come back, two pairs share an IP address and three lie outside the segment's network: it
# reports exactly those problems and those devices going missing and coming back, nothing
# else, in time order, and ends on Ctrl-C (SIGINT) with a summary. Runs on a virtual segment.
set -uo pipefail
bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner-cli
need_tools jq
make_work ips-e2e-watch

# Device i has 10.213.1.(100 + i): 51 takes 50's address, 61 takes 60's; 100 to 102 move to
# another network; 200 to 209 are silent from 7 s to 27 s after devsim starts. With a discovery
# every 5 s they miss the rounds at about 10, 15 and 20 s, are called missing when the round at
# 25 s starts and answer the round at 30 s. Watch runs until all ten are back (a minute at most).
devsim_args="--count 300 --seed 5 --fleet-file $work/fleet.json \
  --device-ip 51=10.213.1.150 --device-ip 61=10.213.1.160 \
  --device-ip 100=192.168.50.10 --device-ip 101=192.168.50.11 --device-ip 102=192.168.50.12 \
  --silent 200-209@7000+20000"

IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet --devsim "$devsim_args" \
  -- bash -c '"$0" watch --json --interface "$IPS_SEGMENT_IF" >"$1/events.jsonl" 2>"$1/watch.log" &
              pid=$!
              for _ in $(seq 1 600); do
                [ "$(grep -c "\"event\":\"back\"" "$1/events.jsonl")" -ge 10 ] && break
                sleep 0.1
              done
              kill -INT $pid
              wait $pid
              echo $? >"$1/watch.rc"' \
     "$bin/ipscanner-cli" "$work"

[ -s "$work/events.jsonl" ] || fail "watch printed nothing"
[ "$(cat "$work/watch.rc" 2>/dev/null)" = 0 ] || fail "watch did not end cleanly on SIGINT (rc $(cat "$work/watch.rc" 2>/dev/null))"

mac() { jq -r --argjson i "$1" '.[] | select(.index == $i) | .mac' "$work/fleet.json"; }
{
  for i in 50 51 60 61; do echo "problem $(mac $i) duplicate_ip"; done
  for i in 100 101 102; do echo "problem $(mac $i) outside_subnet"; done
  for i in $(seq 200 209); do echo "missing $(mac $i) -"; echo "back $(mac $i) -"; done
} | sort >"$work/expected.txt"
jq -r 'select(.event != "summary") | "\(.event) \(.mac) \(.problem // "-")"' "$work/events.jsonl" \
  | sort >"$work/actual.txt"
diff -u "$work/expected.txt" "$work/actual.txt" >"$work/diff.log" || fail "events differ from the site"

# Time order, and each device missing before it is back, about 20 s apart at most.
jq -r 'select(.event != "summary") | .time' "$work/events.jsonl" >"$work/times.txt"
sort -c "$work/times.txt" 2>/dev/null || fail "events not in time order"
jq -s -e '[.[] | select(.event == "missing" or .event == "back")] | group_by(.mac)
          | all(length == 2 and .[0].event == "missing" and .[1].event == "back")' \
  "$work/events.jsonl" >/dev/null || fail "a device is not missing first and back after"
# The problem texts explain themselves.
jq -s -e '[.[] | select(.problem == "duplicate_ip")] | all(.detail | test("is also used by"))' \
  "$work/events.jsonl" >/dev/null || fail "duplicate IP without its explanation"

# The summary closes the output.
tail -1 "$work/events.jsonl" | jq -e '.event == "summary" and .devices == 300 and .missing == 0
  and .with_problems == 7 and .missing_events == 10 and .back_events == 10' >/dev/null \
  || fail "summary: $(tail -1 "$work/events.jsonl")"

echo "PASS: watch reported the 7 problems and the 10 quiet devices, in order, and ended on SIGINT"
