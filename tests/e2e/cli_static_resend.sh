#!/usr/bin/env bash
# A day on a lossy site: `static --all --expect 300` on 300 DHCP devices while devsim loses 5 %
# of the frames each way, and one device also loses its first four updates and another its
# first three discovery answers (so it answers only the discovery's fourth send, at 3 s). The
# device that lost its updates keeps answering the polls, so it gets the update again until it
# turns static: every row ends "Success", exit 0. Then `--expect` one more than the site has:
# nothing is sent, the shortfall is named and the exit is 15.
set -uo pipefail
bin=$(realpath "${1:?module folder}")
src=$(realpath "${2:?source folder}")
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner-cli
need_tools jq
make_work ips-e2e-static-resend
fail=0
show() { for f in "$@"; do [ -s "$f" ] && sed 's/^/  | /' "$f" | tail -30; done; }

mod=$work/mod
mkdir -p "$mod"
cp "$bin/ipscanner-cli" "$mod/"
cp -r "$bin/config" "$mod/"
rm -f "$mod/config/SystemSetting.ini"

cat >"$work/steps.sh" <<'STEPS'
set -uo pipefail
cli=$1 work=$2
"$cli" static --all --expect 300 --seconds 30 --interface "$IPS_SEGMENT_IF" --json \
  >"$work/static.json" 2>"$work/static.err"
echo $? >"$work/static.rc"
sleep 1  # devsim writes its state file on a thread of its own
cp "$work/state.json" "$work/state-before-short.json"
# Too many expected: nothing may be sent, so nothing changes on any device.
"$cli" static --all --expect 301 --seconds 8 --interface "$IPS_SEGMENT_IF" --json \
  >"$work/short.json" 2>"$work/short.err"
echo $? >"$work/short.rc"
# --expect counts every device that answered, whatever --model chooses among them.
"$cli" static --all --model "gs-100 guard station" --expect 301 --seconds 4 \
  --interface "$IPS_SEGMENT_IF" >"$work/short-model.out" 2>"$work/short-model.err"
echo $? >"$work/short-model.rc"
sleep 1
cp "$work/state.json" "$work/state-after-short.json"
STEPS
IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 300 --static-share 0 --loss 0.05,7 --seed 5 --lose-updates 42=4 --lose-discover-answers 77=3 --fleet-file $work/fleet.json --state-file $work/state.json" \
  -- bash "$work/steps.sh" "$mod/ipscanner-cli" "$work"
[ -f "$work/static.rc" ] || fail "the segment did not run the command"

ok=$(jq '[.[] | select(.status == "Success")] | length' "$work/static.json")
echo "static --all at 5 % loss: $ok of 300 Success ($(tail -1 "$work/static.err"))"
check "static: all 300 devices Success, exit 0" \
  bash -c "[ '$ok' = 300 ] && [ \"\$(cat '$work/static.rc')\" = 0 ]" ||
  { show "$work/static.err"; jq -c '.[] | select(.status != "Success")' "$work/static.json" | head; }
lost=$(jq -r '.[42].mac' "$work/fleet.json")
check "the device whose first four updates were lost got a fifth and more" \
  jq -e --arg m "$lost" '.[] | select(.mac == $m) | .status == "Success" and .tries.update >= 5' \
  "$work/static.json" || jq -c --arg m "$lost" '.[] | select(.mac == $m)' "$work/static.json"
late=$(jq -r '.[77].mac' "$work/fleet.json")
check "the device that lost its first three discovery answers was found and configured" \
  jq -e --arg m "$late" 'any(.[]; .mac == $m and .status == "Success")' "$work/static.json"
check "devsim: every device is static now" jq -e 'all(.[]; .dhcp == false)' "$work/state.json"

check "--expect 301 on 300 devices: exit 16" [ "$(cat "$work/short.rc")" = 16 ] || show "$work/short.err"
check "--expect 301: says how many of how many answered and that nothing was sent" \
  grep -Eq "only [0-9]+ of 301 expected devices answered within 8 s; nothing was sent" "$work/short.err" ||
  show "$work/short.err"
check "--expect 301: names what answered by model" grep -q "found by model: " "$work/short.err"
check "--expect 301: no result table" [ ! -s "$work/short.json" ]
check "--model --expect 301: exit 16, counts every device and names what answered by model" bash -c \
  "[ \"\$(cat '$work/short-model.rc')\" = 16 ] && grep -Eq 'only 300 of 301 expected devices' '$work/short-model.err' && grep -Eiq 'found by model: .*[0-9]+ gs-100 guard station' '$work/short-model.err'" ||
  show "$work/short-model.err"
check "--expect short: no device was sent anything that changed it" \
  cmp -s "$work/state-before-short.json" "$work/state-after-short.json"

[ $fail -eq 0 ] && echo "PASS: static on a lossy site, --expect that sends nothing when short"
exit $fail
