#!/usr/bin/env bash
# The command line on a lossy segment: devsim loses 5 % of the frames it receives and,
# independently, 5 % of those it sends (fixed seed), and the devices do not retransmit. The
# program's resends must turn every operation into a success all the same:
#   1. `static --all` on 500 DHCP devices: all "Success";
#   2. `set --static` on 20 of them, one after another: all succeed, on their new addresses;
#   3. `upgrade --all --parallel 8` on 40 devices: all completed.
# The JSON's "tries" are summed up for each. IPS_E2E_LOSS=0.2 runs the same as a measurement on a
# lossier segment, where each must still end with at least 99 % success.
set -uo pipefail
bin=$(realpath "${1:?module folder}")
src=$(realpath "${2:?source folder}")
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner-cli
[ -x /usr/sbin/nginx ] || skip "nginx is not installed"
need_tools jq curl
make_work ips-e2e-lossy
loss=${IPS_E2E_LOSS:-0.05}
seed=21
fail=0
show() { for f in "$@"; do [ -s "$f" ] && sed 's/^/  | /' "$f" | tail -30; done; }

# required <done> <of>: every one at 5 %, at least 99 % on a lossier segment.
enough() {
  if [ "$loss" = 0.05 ]; then [ "$1" -eq "$2" ]; else [ $(($1 * 100)) -ge $(($2 * 99)) ]; fi
}
# tries <jq path to the tries numbers> <file>: "N sends: M devices" for each N.
tries() {
  jq -r "[$1] | group_by(.) | map(\"\(.[0])x: \(length)\") | join(\", \")" "$2"
}

# A module folder of the test's own, as cli_upgrade.sh makes it: the CLI finds its web server
# configuration beside itself, and nothing of $bin changes.
mod=$work/mod
mkdir -p "$mod/Download/Rom"
cp "$bin/ipscanner-cli" "$mod/"
cp -r "$bin/Tools" "$bin/config" "$mod/"
rm -f "$mod/config/SystemSetting.ini"
head -c 200000 /dev/urandom >"$work/105.40.1.1.rom"
echo admin >"$work/password"

# 1 and 2 on one segment of 500 devices.
cat >"$work/steps.sh" <<'STEPS'
set -uo pipefail
cli=$1 work=$2
start=$(date +%s%N)
"$cli" static --all --expect 500 --seconds 30 --interface "$IPS_SEGMENT_IF" --json \
  >"$work/static.json" 2>"$work/static.err"
echo $? >"$work/static.rc"
echo $(( ($(date +%s%N) - start) / 1000000 )) >"$work/static.ms"
: >"$work/set.json"
for i in $(seq 0 19); do
  mac=$(jq -r ".[$((i * 25))].mac" "$work/fleet.json")
  "$cli" set "$mac" --static "10.213.9.$((10 + i))" --gateway 10.213.0.254 --mask 255.255.0.0 \
    --dns1 10.213.0.253 --user admin --password-file "$work/password" --seconds 10 \
    --interface "$IPS_SEGMENT_IF" --json >>"$work/set.json" 2>>"$work/set.err"
  echo $? >>"$work/set.rc"
done
STEPS
IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 500 --static-share 0 --loss $loss,$seed --seed 5 --fleet-file $work/fleet.json --state-file $work/state.json" \
  -- bash "$work/steps.sh" "$mod/ipscanner-cli" "$work"
[ -f "$work/static.rc" ] || fail "the segment did not run the command"

echo "devsim loses $loss of the frames in each direction"
ok=$(jq '[.[] | select(.status == "Success")] | length' "$work/static.json")
echo "static --all: $ok of 500 Success (exit $(cat "$work/static.rc"), $(cat "$work/static.ms") ms with discovery)"
echo "  configuration requests: $(tries '.[].tries.request' "$work/static.json")"
echo "  updates:                $(tries '.[].tries.update' "$work/static.json")"
check "static --all: enough of the 500 devices Success" enough "$ok" 500 ||
  { show "$work/static.err"; jq -c '.[] | select(.status != "Success")' "$work/static.json" | head; }
# At most one configuration request a second for the 4 s wait and the 15 s of polls, and an
# update at 0, 2, 5, 8, 11 and 14 s: bounded by the run's time, not by a count.
check "static --all: every row counts its sends" \
  jq -e 'all(.[]; .tries.request >= 1 and .tries.request <= 20 and .tries.update <= 6)' "$work/static.json"
[ "$loss" = 0.05 ] && check "static --all: exit 0" [ "$(cat "$work/static.rc")" = 0 ]

ok=$(jq -s '[.[] | select(.result == "succeeded")] | length' "$work/set.json")
echo "set --static, 20 one after another: $ok succeeded"
echo "  authenticate requests: $(jq -s '.' "$work/set.json" | tries '.[].tries.authenticate' /dev/stdin)"
echo "  updates:               $(jq -s '.' "$work/set.json" | tries '.[].tries.update' /dev/stdin)"
check "set --static: enough of the 20 succeeded" enough "$ok" 20 || show "$work/set.err"
changed=$(jq '[.[] | select(.ip | startswith("10.213.9.")) | select(.dhcp == false)] | length' "$work/state.json")
check "devsim: the devices that succeeded use their new static addresses" [ "$changed" -eq "$ok" ]

# 3 on a segment of 40 devices.
cat >"$work/upgrade.sh" <<'STEPS'
set -uo pipefail
cli=$1 work=$2
if curl -s -o /dev/null -m 1 http://127.0.0.1:8088/; then echo "port 8088 busy" >"$work/busy"; exit 0; fi
"$cli" upgrade --image "$work/105.40.1.1.rom" --all --parallel 8 --timeout 120 --seconds 6 \
  --force-incompatible \
  --interface "$IPS_SEGMENT_IF" --json >"$work/upgrade.json" 2>"$work/upgrade.err"
echo $? >"$work/upgrade.rc"
STEPS
IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 40 --reboot-ms 1000 --loss $loss,$seed --seed 6 --state-file $work/state40.json" \
  -- bash "$work/upgrade.sh" "$mod/ipscanner-cli" "$work"
[ -f "$work/busy" ] && skip "something else answers on port 8088 in the namespace"
ok=$(jq '[.devices[] | select(.result == "completed")] | length' "$work/upgrade.json")
echo "upgrade --all --parallel 8: $ok of 40 completed ($(grep -o '[0-9]* s$' "$work/upgrade.err"))"
echo "  upgrade requests: $(tries '.devices[].tries' "$work/upgrade.json")"
check "upgrade: all 40 devices found" jq -e '.total == 40' "$work/upgrade.json" || show "$work/upgrade.err"
check "upgrade: enough of the 40 completed" enough "$ok" 40 ||
  jq -c '.devices[] | select(.result != "completed")' "$work/upgrade.json"
[ "$loss" = 0.05 ] && check "upgrade: exit 0" [ "$(cat "$work/upgrade.rc")" = 0 ]

[ $fail -eq 0 ] && echo "PASS: device operations on a lossy segment ($loss)"
exit $fail
