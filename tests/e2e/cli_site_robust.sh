#!/usr/bin/env bash
# The site record under abuse, on a segment of 1000 simulated devices:
#   - `watch` killed with SIGKILL 20 times at random moments while it records: the database
#     passes PRAGMA integrity_check after every kill and keeps what was written before;
#   - `watch` and `scan` recording the same site at once both finish, nothing lost;
#   - a damaged site file and a foreign SQLite file are moved aside with a message, and a new
#     record is started;
#   - a full disk (a tiny tmpfs over the site folder) gives a message, and the scan goes on and
#     lists every device;
#   - a symbolic link at sites/NAME.sqlite is refused with a message, never followed (its empty
#     target stays empty, with nothing beside it), and the scan goes on and lists every device.
set -uo pipefail
bin=$(realpath "${1:?module folder}")
src=$(realpath "${2:?source folder}")
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner-cli
need_tools sqlite3 unshare
make_work ips-e2e-site-robust

mod=$work/mod
mkdir -p "$mod"
cp "$bin/ipscanner-cli" "$mod/"
cp -r "$bin/config" "$mod/"
rm -f "$mod/config/SystemSetting.ini"
mkdir -p "$mod/sites"
head -c 20000 /dev/urandom >"$mod/sites/damaged.sqlite"
sqlite3 "$mod/sites/foreign.sqlite" 'CREATE TABLE songs(title TEXT); INSERT INTO songs VALUES("x");'
mkdir -p "$work/elsewhere"
: >"$work/elsewhere/target"
ln -s "$work/elsewhere/target" "$mod/sites/linked.sqlite"

cat >"$work/steps.sh" <<'STEPS'
set -uo pipefail
mod=$1 work=$2
cli=$mod/ipscanner-cli
db=$mod/sites/kill.sqlite
for i in $(seq 1 20); do
  "$cli" --site kill watch --interface "$IPS_SEGMENT_IF" >/dev/null 2>>"$work/watch.err" &
  pid=$!
  sleep "$(awk -v s="$RANDOM" 'BEGIN { srand(s); printf "%.2f", 0.3 + rand() * 2.7 }')"
  kill -9 "$pid"
  wait "$pid" 2>/dev/null
  echo "$i $(sqlite3 "$db" 'PRAGMA integrity_check' 2>&1 | tr '\n' ' ') $(sqlite3 "$db" 'SELECT count(*) FROM devices' 2>&1)" >>"$work/kills.txt"
done

"$cli" --site both watch --seconds 8 --interface "$IPS_SEGMENT_IF" >"$work/both-watch.out" 2>"$work/both-watch.err" &
watcher=$!
sleep 1
"$cli" scan --site both --seconds 5 --expect 1000 --interface "$IPS_SEGMENT_IF" >/dev/null 2>"$work/both-scan.err"
echo $? >"$work/both-scan.rc"
wait "$watcher"
echo $? >"$work/both-watch.rc"

for site in damaged foreign linked; do
  "$cli" scan --site $site --seconds 3 --expect 1000 --interface "$IPS_SEGMENT_IF" >/dev/null 2>"$work/$site.err"
  echo $? >"$work/$site.rc"
done

# A private mount namespace: the tmpfs is seen by this scan alone. Mode 0700: a site folder
# others may write to is refused before the disk could fill.
mkdir -p "$work/fullmod/sites"
cp "$cli" "$work/fullmod/"
cp -r "$mod/config" "$work/fullmod/"
unshare -m bash -c "mount -t tmpfs -o size=96k,mode=0700 tmpfs '$work/fullmod/sites' &&
  '$work/fullmod/ipscanner-cli' scan --seconds 4 --expect 1000 --json --interface '$IPS_SEGMENT_IF' \
    >'$work/full.json' 2>'$work/full.err'; echo \$? >'$work/full.rc'"
STEPS

IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 1000 --seed 5" -- bash "$work/steps.sh" "$mod" "$work"

fail=0
show() { for f in "$@"; do [ -s "$f" ] && sed 's/^/  | /' "$f" | tail -20; done; }
check "20 kills done" [ "$(wc -l <"$work/kills.txt")" = 20 ]
check "integrity_check ok after every kill" [ "$(grep -c '^[0-9]* ok ' "$work/kills.txt")" = 20 ] \
  || show "$work/kills.txt"
check "the devices were recorded between kills" [ "$(tail -1 "$work/kills.txt" | awk '{print $NF}')" = 1000 ] \
  || show "$work/kills.txt"
check "watch and scan on one site at once: scan exits 0" [ "$(cat "$work/both-scan.rc")" = 0 ] \
  || show "$work/both-scan.err"
check "watch and scan on one site at once: watch exits 0" [ "$(cat "$work/both-watch.rc")" = 0 ] \
  || show "$work/both-watch.err"
check "both recorded all devices" [ "$(sqlite3 "$mod/sites/both.sqlite" 'SELECT count(*) FROM devices')" = 1000 ]
check "no notice from two writers" bash -c "! grep -q 'site' '$work/both-scan.err' '$work/both-watch.err'" \
  || show "$work/both-scan.err" "$work/both-watch.err"
for site in damaged foreign; do
  check "$site file: scan exits 0" [ "$(cat "$work/$site.rc")" = 0 ]
  check "$site file: the message says it was moved aside" \
    grep -q "sites/$site.sqlite was damaged or not a site database; it was moved to .*$site.sqlite.damaged-" "$work/$site.err" \
    || show "$work/$site.err"
  check "$site file: a fresh record holds the devices" \
    [ "$(sqlite3 "$mod/sites/$site.sqlite" 'SELECT count(*) FROM devices')" = 1000 ]
  check "$site file: the old file is kept aside" compgen -G "$mod/sites/$site.sqlite.damaged-*"
done
check "foreign file kept unchanged aside" \
  [ "$(sqlite3 "$(compgen -G "$mod/sites/foreign.sqlite.damaged-*" | grep -v -- '-wal$\|-shm$' | head -1)" 'SELECT title FROM songs')" = x ]
check "linked file: scan exits 0" [ "$(cat "$work/linked.rc")" = 0 ] || show "$work/linked.err"
check "linked file: the message says the link is refused" \
  grep -q "sites/linked.sqlite is a symbolic link; nothing is recorded" "$work/linked.err" \
  || show "$work/linked.err"
check "linked file: the target stays empty, nothing beside it" \
  bash -c "[ ! -s '$work/elsewhere/target' ] && [ \$(ls '$work/elsewhere' | wc -l) = 1 ]"
check "full disk: the scan exits 0" [ "$(cat "$work/full.rc")" = 0 ] || show "$work/full.err"
check "full disk: a clear message" grep -q "disk is full" "$work/full.err" || show "$work/full.err"
check "full disk: every device listed" jq -e 'length == 1000' "$work/full.json"
exit $fail
