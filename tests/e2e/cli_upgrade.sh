#!/usr/bin/env bash
# A firmware rollout from the command line: `ipscanner-cli upgrade --all --parallel 8` serves an
# image from the program's own nginx child and upgrades 100 simulated devices, which fetch it
# over HTTP on the virtual segment, reboot and come back with the new version. One device
# refuses the upgrade (acknowledges the request with "Failed"): it ends failed with its reason
# within seconds, and the exit code says not every device made it.
# Also: an image name without a version is refused (exit 10); an image of one firmware family
# offered to a fleet of several is refused before anything is sent (exit 14, the devices named)
# unless --force-incompatible; --skip-incompatible upgrades the image's family alone, names the
# others (in the JSON too) and exits 0; named devices (MAC in another spelling, IP) are upgraded alone
# and devices already on the version are skipped.
set -uo pipefail
bin=$(realpath "${1:?module folder}")
src=$(realpath "${2:?source folder}")
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner-cli
[ -x /usr/sbin/nginx ] || skip "nginx is not installed"
need_tools jq curl
make_work ips-e2e-upgrade

# A module folder of the test's own: the CLI finds its web server configuration and download
# folder beside itself, and nothing of $bin changes.
mod=$work/mod
mkdir -p "$mod/Download/Rom"
cp "$bin/ipscanner-cli" "$mod/"
cp -r "$bin/Tools" "$bin/config" "$mod/"
rm -f "$mod/config/SystemSetting.ini"
images=$work/images
mkdir -p "$images"
head -c 300000 /dev/urandom >"$images/105.40.1.1.rom"
echo "no version" >"$images/firmware"

cat >"$work/steps.sh" <<'STEPS'
set -uo pipefail
mod=$1 work=$2 images=$3
cli=$mod/ipscanner-cli
if curl -s -o /dev/null -m 1 http://127.0.0.1:8088/; then echo "port 8088 busy" >"$work/busy"; exit 0; fi

"$cli" upgrade --image "$images/firmware" --all --interface "$IPS_SEGMENT_IF" \
  >"$work/noversion.out" 2>"$work/noversion.err"
echo $? >"$work/noversion.rc"

"$cli" upgrade --image "$images/105.40.1.1.rom" --all --seconds 4 --interface "$IPS_SEGMENT_IF" \
  >"$work/incompatible.out" 2>"$work/incompatible.err"
echo $? >"$work/incompatible.rc"

"$cli" upgrade --image "$images/105.40.1.1.rom" --all --seconds 4 --timeout 30 --skip-incompatible \
  --interface "$IPS_SEGMENT_IF" --json >"$work/skip.json" 2>"$work/skip.err"
echo $? >"$work/skip.rc"

start=$(date +%s.%N)
# A device takes about 4 s from its request to its return with the new version; the refusing
# one ends as soon as its refusal comes. The time-out leaves room for a busy machine.
"$cli" upgrade --image "$images/105.40.1.1.rom" --all --parallel 8 --timeout 15 --seconds 4 \
  --force-incompatible --interface "$IPS_SEGMENT_IF" --json >"$work/all.json" 2>"$work/all.err"
echo $? >"$work/all.rc"
echo "$(date +%s.%N) - $start" | bc >"$work/all.seconds"
ls -A "$mod/Download/Rom" >"$work/rom-after.txt"

# Named devices: one by its MAC in another spelling (already on the version now: skipped),
# one by its IP; the refusing device by its MAC text as it reports it.
"$cli" upgrade --image "$images/105.40.1.1.rom" --interface "$IPS_SEGMENT_IF" --seconds 4 \
  --timeout 5 --force-incompatible "$(cat "$work/named-mac")" "$(cat "$work/refusing-ip")" \
  >"$work/named.out" 2>"$work/named.err"
echo $? >"$work/named.rc"

# Another server on the port, even one handing out the very same bytes, is not ours: refused
# before any device is asked.
cat >"$work/foreign.conf" <<CONF
daemon off; master_process off; pid $work/foreign.pid; error_log $work/foreign-error.log;
events {}
http { access_log off; server { listen 8088; location /download/rom/ { alias $images/; } } }
CONF
/usr/sbin/nginx -p "$work/" -c "$work/foreign.conf" >/dev/null 2>&1 &
foreign=$!
for _ in $(seq 1 50); do curl -s -o /dev/null -m 1 http://127.0.0.1:8088/ && break; sleep 0.1; done
"$cli" upgrade --image "$images/105.40.1.1.rom" --interface "$IPS_SEGMENT_IF" --seconds 2 \
  "$(cat "$work/refusing-ip")" >"$work/foreign.out" 2>"$work/foreign.err"
echo $? >"$work/foreign.rc"
kill "$foreign"; wait "$foreign" 2>/dev/null
STEPS

# Device 17 refuses the upgrade; the fleet tells the test its MAC and IP before the run.
IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 100 --envelope mixed --reboot-ms 1000 --refuse-download 17 --seed 11 --verbose --fleet-file $work/fleet.json --state-file $work/state.json" \
  -- bash -c "
    for _ in \$(seq 1 100); do [ -s '$work/fleet.json' ] && break; sleep 0.05; done
    jq -r '.[3].macBytes | ascii_downcase | [scan(\"..\")] | join(\"-\")' '$work/fleet.json' >'$work/named-mac'
    jq -r '.[17].ip' '$work/fleet.json' >'$work/refusing-ip'
    bash '$work/steps.sh' '$mod' '$work' '$images'
    cp \"\$IPS_DEVSIM_LOG\" '$work/devsim.log' 2>/dev/null"
[ -f "$work/busy" ] && skip "something else answers on port 8088 in the namespace"

fail=0
show() { for f in "$@"; do [ -s "$f" ] && sed 's/^/  | /' "$f" | tail -40; done; }
refusing=$(jq -r '.[17].mac' "$work/fleet.json")

check "image name without a version is refused (exit 10)" [ "$(cat "$work/noversion.rc")" = 10 ] \
  || show "$work/noversion.err"
# The fleet's six models take turns; only every sixth device (from device 3) is of family 105.
others=$(jq '[.[] | select(.firmware | startswith("105.") | not)] | length' "$work/fleet.json")
check "an image of another family: exit 14" \
  [ "$(cat "$work/incompatible.rc")" = 14 ] || show "$work/incompatible.err"
check "the refusal names each of the $others devices of other families" \
  [ "$(grep -c ' firmware ' "$work/incompatible.err")" = "$others" ] || show "$work/incompatible.err"
check "the refusal names the refusing device (family 131) by its MAC" \
  grep -q "$(jq -r '.[17].mac' "$work/fleet.json")" "$work/incompatible.err"
check "the refusal tells of --force-incompatible" grep -q -- --force-incompatible "$work/incompatible.err"
check "--skip-incompatible: exit 0" [ "$(cat "$work/skip.rc")" = 0 ] || show "$work/skip.err"
check "--skip-incompatible: the $((100 - others)) devices of family 105 completed, nothing else ran" \
  jq -e --argjson n $((100 - others)) \
  '(.devices | length == $n) and all(.devices[]; .result == "completed")' "$work/skip.json" ||
  show "$work/skip.err"
check "--skip-incompatible: the JSON names the $others skipped devices, the refusing one among them" \
  jq -e --argjson n "$others" --arg m "$(jq -r '.[17].mac' "$work/fleet.json")" \
  '(.skipped | length == $n) and any(.skipped[]; .mac == $m and .reason == "another firmware family")' \
  "$work/skip.json"
check "--skip-incompatible: stderr names them too" \
  [ "$(grep -c ' firmware ' "$work/skip.err")" = "$others" ]
check "rollout with a refusing device exits 11" [ "$(cat "$work/all.rc")" = 11 ] || show "$work/all.err"
check "JSON lists all 100 devices" jq -e '.devices | length == 100' "$work/all.json" || show "$work/all.err"
check "99 devices on 105.40.1.1 (completed now, or by --skip-incompatible before)" \
  jq -e '[.devices[] | select((.result == "completed" or .result == "skipped") and .new_version == "105.40.1.1")] | length == 99' \
  "$work/all.json" || jq -c '.devices[] | select(.result != "completed")' "$work/all.json"
check "the refusing device failed at once with its reason, on its old firmware" \
  jq -e --arg m "$refusing" '.devices[] | select(.mac == $m) | .result == "failed" and .reason == "download refused" and .seconds < 5 and .new_version == .old_version' \
  "$work/all.json" || jq -c --arg m "$refusing" '.devices[] | select(.mac == $m)' "$work/all.json"
check "the simulator's state agrees: 99 devices run the new version" \
  jq -e '[.[] | select(.firmware == "105.40.1.1")] | length == 99' "$work/state.json"
check "every device fetched the image whole over HTTP from nginx" \
  [ "$(grep -c 'download http://10.213.0.1:8088/download/rom/105.40.1.1.rom: 300000 bytes' "$work/devsim.log")" -ge 99 ]
check "nginx's access log shows the downloads" \
  [ "$(grep -c 'GET /download/rom/105.40.1.1.rom HTTP/1.0" 200 300000' "$mod/Tools/nginx/logs/access.log")" -ge 99 ]
check "the image copy is removed after the run" [ ! -s "$work/rom-after.txt" ]
check "named run exits 11 (the refusing device)" [ "$(cat "$work/named.rc")" = 11 ] || show "$work/named.err"
check "named device already on the version is skipped" grep -Eq ' 105\.40\.1\.1 +105\.40\.1\.1 +skipped ' "$work/named.out" \
  || show "$work/named.out"
check "named table has a header and two devices" [ "$(wc -l <"$work/named.out")" = 3 ] || show "$work/named.out"
check "another process on port 8088 is an error (exit 4)" bash -c \
  "[ \"\$(cat '$work/foreign.rc')\" = 4 ] && grep -q 'another process already holds port 8088' '$work/foreign.err'" \
  || show "$work/foreign.err"
echo "rollout of 100 devices with --parallel 8: $(printf '%.1f' "$(cat "$work/all.seconds")") s"
grep 'devices) in' "$work/all.err" | sed 's/^/  /'
[ "$fail" = 0 ] || fail "upgrade rollout"
echo "ok: cli_upgrade"
