#!/usr/bin/env bash
# The site record and the commissioning report on a segment of 40 simulated devices: a scan,
# one device set to a static address, two upgraded, one rebooted. The site database then holds
# the 40 devices, the changes (the new IP, the new firmware) and the four operations with each
# device's result and no password. `report --pdf --csv` reads every device's settings first and
# writes a PDF whose text holds every MAC, every room and the four operations, and a CSV with the
# fixed English header. `history` and `sites` read the record back. The report's first two pages
# are rendered to PNG when IPS_SHOTS names a folder.
set -uo pipefail
bin=$(realpath "${1:?module folder}")
src=$(realpath "${2:?source folder}")
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner-cli
[ -x /usr/sbin/nginx ] || skip "nginx is not installed"
need_tools jq curl sqlite3 pdftotext
make_work ips-e2e-site

mod=$work/mod
mkdir -p "$mod/Download/Rom"
cp "$bin/ipscanner-cli" "$mod/"
cp -r "$bin/Tools" "$bin/config" "$mod/"
rm -f "$mod/config/SystemSetting.ini"
mkdir -p "$work/images"
head -c 200000 /dev/urandom >"$work/images/105.40.1.1.rom"
secret=site-$RANDOM-secret
printf '%s\n' "$secret" >"$work/password"

cat >"$work/steps.sh" <<'STEPS'
set -uo pipefail
mod=$1 work=$2
cli=$mod/ipscanner-cli
if curl -s -o /dev/null -m 1 http://127.0.0.1:8088/; then echo "port 8088 busy" >"$work/busy"; exit 0; fi
run() {  # run <name> <arguments...>
  local name=$1
  shift
  "$cli" "$@" --interface "$IPS_SEGMENT_IF" >"$work/$name.out" 2>"$work/$name.err"
  echo $? >"$work/$name.rc"
}
first=$(jq -r '.[0].mac' "$work/fleet.json")
up1=$(jq -r '.[1].mac' "$work/fleet.json")
up2=$(jq -r '.[2].ip' "$work/fleet.json")
rebooted=$(jq -r '.[3].mac' "$work/fleet.json")
run scan --site handover scan --seconds 6 --expect 40
run set --site handover set "$first" --user admin --password-file "$work/password" \
  --static 10.213.9.9 --gateway 10.213.0.254 --mask 255.255.0.0 --dns1 10.213.0.253
run upgrade1 --site handover upgrade --image "$work/images/105.40.1.1.rom" --timeout 30 \
  --force-incompatible --seconds 4 "$up1"
run upgrade2 --site handover upgrade --image "$work/images/105.40.1.1.rom" --timeout 30 \
  --force-incompatible --seconds 4 "$up2"
IPSCANNER_PASSWORD=$(cat "$work/password") run reboot --site handover reboot "$rebooted" --user admin
sleep 3  # the rebooted device is back before its settings are read
run report --site handover report --pdf "$work/report.pdf" --csv "$work/report.csv" --seconds 4
STEPS

IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 40 --static-share 0 --workmac-differ-share 0 --reboot-ms 800 --seed 23 --password $secret --fleet-file $work/fleet.json --state-file $work/state.json" \
  -- bash -c "
    for _ in \$(seq 1 100); do [ -s '$work/fleet.json' ] && break; sleep 0.05; done
    bash '$work/steps.sh' '$mod' '$work'"
[ -f "$work/busy" ] && skip "something else answers on port 8088 in the namespace"

fail=0
db=$mod/sites/handover.sqlite
q() { sqlite3 -batch -noheader "$db" "$1"; }
show() { for f in "$@"; do [ -s "$f" ] && sed 's/^/  | /' "$f" | tail -20; done; }
site_mac() { tr 'a-f' 'A-F' | tr -d ':-' | sed 's/../&:/g; s/:$//'; }

for step in scan set upgrade1 upgrade2 reboot report; do
  check "$step exits 0" [ "$(cat "$work/$step.rc")" = 0 ] || show "$work/$step.err"
done
check "the site database is below the module folder" [ -f "$db" ]
check "integrity_check ok" [ "$(q 'PRAGMA integrity_check')" = ok ]
check "WAL mode" [ "$(q 'PRAGMA journal_mode')" = wal ]
check "all 40 devices recorded" [ "$(q 'SELECT count(*) FROM devices')" = 40 ]
first=$(jq -r '.[0].mac' "$work/fleet.json" | site_mac)
check "the set device's new IP is a change" \
  [ "$(q "SELECT count(*) FROM changes WHERE mac='$first' AND field='ip' AND new_value='10.213.9.9'")" = 1 ]
check "the set device reports static now" [ "$(q "SELECT mode FROM devices WHERE mac='$first'")" = static ]
check "both upgraded devices changed firmware to 105.40.1.1" \
  [ "$(q "SELECT count(DISTINCT mac) FROM changes WHERE field='firmware' AND new_value='105.40.1.1'")" = 2 ]
check "four operations: set, upgrade, upgrade, reboot" \
  [ "$(q 'SELECT group_concat(kind) FROM (SELECT kind FROM operations ORDER BY id)')" = set,upgrade,upgrade,reboot ]
check "each operation has its device's result ok" \
  [ "$(q "SELECT count(*) FROM operation_devices WHERE result='ok'")" = 4 ] || q 'SELECT * FROM operation_devices'
check "no password in the record" bash -c "! grep -aq '$secret' '$db' '$db-wal' 2>/dev/null"
check "the set parameters are kept" \
  [ "$(q "SELECT json_extract(parameters, '\$.ip') FROM operations WHERE kind='set'")" = 10.213.9.9 ]
check "every device answered the settings request" grep -q '(0 did not answer)' "$work/report.out" \
  || show "$work/report.out" "$work/report.err"

pdftotext -layout "$work/report.pdf" "$work/report.txt"
missing=0
while read -r mac room; do
  m=$(echo "$mac" | site_mac)
  grep -q "$m" "$work/report.txt" || { echo "  MAC $m not in the PDF"; missing=1; }
  grep -q -- "$room" "$work/report.txt" || { echo "  room $room not in the PDF"; missing=1; }
done < <(jq -r '.[] | "\(.mac) \(.deviceId)"' "$work/fleet.json")
check "the PDF holds every MAC and room" [ $missing = 0 ]
ops=$(awk '/^ *Operations/{on=1} on' "$work/report.txt" | grep -cE '^ *[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]+ +(set|upgrade|reboot) ')
check "the PDF's operations log holds the four operations" [ "$ops" = 4 ] \
  || awk '/^ *Operations/{on=1} on' "$work/report.txt" | head -30
check "the PDF has page numbers and the version" grep -q "Page 1 of" "$work/report.txt"
check "CSV header is fixed" [ "$(head -1 "$work/report.csv" | tr -d '\r')" = \
  "room,ip,mac,model,firmware,mode,mask,gateway,status,last_seen" ]
check "CSV holds 40 devices" [ "$(($(wc -l <"$work/report.csv") - 1))" = 40 ]

"$mod/ipscanner-cli" --site handover history "$first" --json >"$work/history.json" 2>"$work/history.err"
check "history shows the set operation and the IP change" \
  jq -e '(.operations | map(.operation) | index("set")) != null and (.changes | map(.field) | index("ip")) != null' \
  "$work/history.json" || show "$work/history.err"
"$mod/ipscanner-cli" history 10.213.9.9 --site handover >"$work/history.txt" 2>&1
check "history finds a device by its IP" grep -q "^Device $first" "$work/history.txt" || show "$work/history.txt"
"$mod/ipscanner-cli" sites --json >"$work/sites.json"
check "sites lists handover with 40 devices" \
  jq -e '.[] | select(.site == "handover") | .devices == 40 and (.last_activity | length > 0)' "$work/sites.json"

if [ -n "${IPS_SHOTS:-}" ] && command -v pdftoppm >/dev/null; then
  pdftoppm -png -r 80 -f 1 -l 2 "$work/report.pdf" "$IPS_SHOTS/i23-report"
  cp "$work/report.pdf" "$IPS_SHOTS/i23-report.pdf"
fi
exit $fail
