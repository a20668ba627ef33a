#!/usr/bin/env bash
# Three sites, each a virtual segment with 200 simulated devices and its own `ipscanner-cli
# agent`, publish to one real mosquitto broker (password file, TLS with a CA made here) in a
# namespace of its own, joined to each site's program namespace by a veth pair:
#   - `sites --devices --json` lists all 600 devices under their sites, and an idle site sends no
#     device documents again;
#   - 10 devices of site b go silent: their missing events arrive;
#   - the broker is stopped for 20 s while 10 devices of site c go missing; after it is back
#     every event of site c arrives, in order (by seq), none lost;
#   - kill -9 of site a's agent turns its status "offline" within the keep-alive;
#   - a client without the password is refused.
set -uo pipefail
bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner-cli
need_tools jq mosquitto mosquitto_sub mosquitto_passwd openssl
make_work ips-e2e-agent

broker_ns="ips-mq$$"
tags=()
broker_pid=""
agent_pids=()
sub_pid=""
at_exit() {
  local pid
  for pid in "${agent_pids[@]}" $sub_pid $broker_pid; do kill "$pid" 2>/dev/null; done
  for pid in "${agent_pids[@]}" $sub_pid $broker_pid; do wait "$pid" 2>/dev/null; done
  for tag in "${tags[@]}"; do "$src/scripts/segment.sh" --quiet --down "$tag"; done
  ip netns del "$broker_ns" 2>/dev/null
  for site in a b c; do rm -f "$bin/sites/site-$site.sqlite"{,-wal,-shm}; done
}

# --- the CA, the broker's certificate (for its three addresses) and the password file
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=ipscanner test CA" \
  -keyout "$work/ca.key" -out "$work/ca.crt" 2>"$work/openssl.log" || fail "no CA"
openssl req -newkey rsa:2048 -nodes -subj "/CN=broker" -keyout "$work/broker.key" \
  -out "$work/broker.csr" 2>>"$work/openssl.log" || fail "no broker key"
printf 'subjectAltName=IP:10.250.1.1,IP:10.250.2.1,IP:10.250.3.1,IP:127.0.0.1\n' >"$work/san.ext"
openssl x509 -req -in "$work/broker.csr" -CA "$work/ca.crt" -CAkey "$work/ca.key" -CAcreateserial \
  -days 2 -extfile "$work/san.ext" -out "$work/broker.crt" 2>>"$work/openssl.log" || fail "no cert"
touch "$work/passwd"
mosquitto_passwd -b "$work/passwd" agent 'agent-secret' || fail "mosquitto_passwd"
printf 'agent-secret\n' >"$work/agent.pw"
chmod 600 "$work/agent.pw"
cat >"$work/mosquitto.conf" <<CONF
user root
persistence true
persistence_location $work/
autosave_interval 1
listener 8883
cafile $work/ca.crt
certfile $work/broker.crt
keyfile $work/broker.key
password_file $work/passwd
allow_anonymous false
log_dest file $work/broker.out
log_type error
log_type warning
log_type notice
CONF

ip netns add "$broker_ns" || fail "no broker namespace"
ip -n "$broker_ns" link set lo up
start_broker() {
  ip netns exec "$broker_ns" mosquitto -c "$work/mosquitto.conf" >>"$work/broker-start.log" 2>&1 &
  broker_pid=$!
  wait_for 10 ip netns exec "$broker_ns" bash -c 'exec 3<>/dev/tcp/127.0.0.1/8883' 2>/dev/null \
    || fail "the broker did not start"
}
start_broker

# --- three segments with devsim. Site b: devices 0-9 silent from 25 s on. Site c: devices
# 20-29 silent from 35 s on (missing while the broker is down), answering again after 70 s.
declare -A silent=([a]="" [b]="--silent 0-9@25000+600000" [c]="--silent 20-29@35000+35000")
declare -A seed=([a]=11 [b]=12 [c]=13)
k=0
for site in a b c; do
  k=$((k + 1))
  IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet --keep \
    --devsim "--count 200 --seed ${seed[$site]} --fleet-file $work/fleet-$site.json ${silent[$site]}" \
    -- bash -c 'env | grep ^IPS_ >"$0"' "$work/segment-$site.env" || fail "segment $site"
  tag=$(sed -n 's/^IPS_SEGMENT_TAG=//p' "$work/segment-$site.env")
  tags+=("$tag")
  app_ns=$(sed -n 's/^IPS_SEGMENT_APP_NS=//p' "$work/segment-$site.env")
  app_if=$(sed -n 's/^IPS_SEGMENT_IF=//p' "$work/segment-$site.env")
  # The link from the site's program namespace to the broker.
  ip link add "mq$$s$k" type veth peer name "mq$$b$k" || fail "veth"
  ip link set "mq$$s$k" netns "$app_ns"
  ip link set "mq$$b$k" netns "$broker_ns"
  ip -n "$app_ns" addr add "10.250.$k.2/30" dev "mq$$s$k"
  ip -n "$broker_ns" addr add "10.250.$k.1/30" dev "mq$$b$k"
  ip -n "$app_ns" link set "mq$$s$k" up
  ip -n "$broker_ns" link set "mq$$b$k" up
  ip netns exec "$app_ns" "$bin/ipscanner-cli" agent --site "site-$site" \
    --mqtt "mqtts://10.250.$k.1:8883" --ca "$work/ca.crt" --user agent \
    --password-file "$work/agent.pw" --interface "$app_if" --keepalive 5 \
    --spool "$work/spool-$site" >"$work/agent-$site.log" 2>&1 &
  agent_pids+=($!)
done

# Every event of every site, from a subscriber with a persistent session (it gets what the
# broker queued for it while it was away, too).
# (exec: the pid kept is the subscriber's own, not that of a subshell around it, which a kill
# would end while the subscriber lived on.)
sub() {
  exec ip netns exec "$broker_ns" mosquitto_sub -h 127.0.0.1 -p 8883 --cafile "$work/ca.crt" \
    -u agent -P agent-secret "$@"
}
(sub -c -i e2e-events -q 1 -t 'ipscanner/+/events' >>"$work/events.jsonl" 2>>"$work/sub.log") &
sub_pid=$!

sites_json() {
  ip netns exec "$broker_ns" env IPSCANNER_MQTT_PASSWORD=agent-secret "$bin/ipscanner-cli" sites \
    --mqtt mqtts://127.0.0.1:8883 --ca "$work/ca.crt" --user agent --devices --json
}
all_listed() {
  sites_json >"$work/sites.json" 2>"$work/sites-err.txt" &&
    jq -e '[.[] | select(.site | startswith("site-"))] | length == 3 and
           all(.devices == 200 and (.device_list | length) == 200 and .state == "online")' \
      "$work/sites.json" >/dev/null
}
fail=0
check "sites --devices --json lists 600 devices under 3 sites" wait_for 30 all_listed \
  || { jq -c '.[] | {site, state, devices}' "$work/sites.json"; cat "$work/sites-err.txt"; }
# Each device sits under its own site: the fleets' MACs.
for site in a b c; do
  jq -r '.[].mac' "$work/fleet-$site.json" | tr -d ':-' | tr a-f A-F | sort >"$work/want-$site.txt"
  jq -r --arg s "site-$site" '.[] | select(.site == $s) | .device_list[].mac' "$work/sites.json" \
    | tr -d ':-' | tr a-f A-F | sort >"$work/got-$site.txt"
  check "site-$site lists exactly its own devices" cmp -s "$work/want-$site.txt" "$work/got-$site.txt"
done

# An idle site sends nothing per device: a document goes out again only when it changes.
(sub -R -v -t 'ipscanner/site-a/devices/+' -W 8 >"$work/idle.txt" 2>/dev/null)
check "an idle site republishes no device documents ($(wc -l <"$work/idle.txt") in 8 s)" \
  test "$(wc -l <"$work/idle.txt")" -lt 5

# --- site b: 10 devices go quiet at 25 s and are called missing some 15-20 s later.
missing_of() {  # site -> count of distinct missing MACs seen so far
  jq -r --arg s "site-$1" 'select(.site == $s and .event == "missing") | .mac' "$work/events.jsonl" \
    2>/dev/null | sort -u | wc -l
}
b_all_missing() { [ "$(missing_of b)" -ge 10 ]; }
check "site-b: the 10 silent devices' missing events arrive" wait_for 50 b_all_missing
want_b=$(jq -r '.[] | select(.index < 10) | .mac' "$work/fleet-b.json" | sort)
got_b=$(jq -r 'select(.site == "site-b" and .event == "missing") | .mac' "$work/events.jsonl" | sort -u)
check "site-b: exactly the silent devices are missing" test "$want_b" = "$got_b"

# --- the broker away for 20 s while site c's devices 20-29 go missing.
elapsed_c=$(( $(date +%s) - $(stat -c %Y "$work/fleet-c.json") ))
[ "$elapsed_c" -lt 40 ] && sleep $((40 - elapsed_c))
kill "$broker_pid"; wait "$broker_pid" 2>/dev/null
echo "broker stopped at site-c t=$(( $(date +%s) - $(stat -c %Y "$work/fleet-c.json") )) s"
sleep 20
start_broker
echo "broker back at site-c t=$(( $(date +%s) - $(stat -c %Y "$work/fleet-c.json") )) s"
in_order_c() {
  jq -s -e '[.[] | select(.site == "site-c")] as $e
    | ($e | map(.seq) | unique) as $seqs
    | ($seqs | length) > 0 and $seqs == [range($seqs[0]; $seqs[0] + ($seqs | length))]
    and ([$e[] | select(.event == "missing")] | length) >= 10
    and ([$e[] | select(.event == "back")] | length) >= 10' "$work/events.jsonl" >/dev/null
}
check "site-c: every event of the outage arrives, in order, none lost" wait_for 60 in_order_c \
  || jq -c 'select(.site == "site-c") | {seq, event, mac}' "$work/events.jsonl"
# The first arrival of each seq comes in seq order (repeats after a reconnect are allowed).
check "site-c: events arrive in seq order" jq -s -e '
  [.[] | select(.site == "site-c") | .seq] | reduce .[] as $s ({seen: {}, order: []};
    if .seen[($s | tostring)] then . else .seen[($s | tostring)] = true | .order += [$s] end)
  | .order == (.order | sort)' "$work/events.jsonl"
grep -q "connection to the broker lost" "$work/agent-c.log" || { echo "FAIL: agent c never lost the broker"; fail=1; }
# The missing events arose while the broker was away: they waited in the spool.
waited=$(sed -n 's/.*; \([0-9]*\) events to deliver/\1/p' "$work/agent-c.log" | tail -1)
check "site-c: the outage's events waited in the spool (${waited:-0} at the reconnect)" \
  test "${waited:-0}" -ge 10

# --- kill -9 of site a's agent: the broker publishes its will within 1.5 keep-alives (7.5 s).
kill -9 "${agent_pids[0]}"
killed_at=$(date +%s)
{ wait "${agent_pids[0]}"; } 2>/dev/null  # no job report for the killed agent
offline_a() {
  sites_json >"$work/sites2.json" 2>/dev/null &&
    jq -e '.[] | select(.site == "site-a") | .state == "offline"' "$work/sites2.json" >/dev/null
}
check "site-a: offline within the keep-alive after kill -9" wait_for 15 offline_a
echo "site-a offline after $(( $(date +%s) - killed_at )) s"

# --- no password, no entry.
ip netns exec "$broker_ns" env -u IPSCANNER_MQTT_PASSWORD "$bin/ipscanner-cli" sites \
  --mqtt mqtts://127.0.0.1:8883 --ca "$work/ca.crt" --user agent >"$work/nopass.out" 2>&1
rc=$?
check "a client without the password is refused (exit 7)" test "$rc" = 7
check "the refusal says why" grep -q "refused" "$work/nopass.out"

# --- SIGTERM ends an agent cleanly, saying offline itself.
kill -TERM "${agent_pids[1]}"
wait "${agent_pids[1]}"; rc=$?
check "agent ends cleanly on SIGTERM" test "$rc" = 0
[ "$fail" = 0 ] || fail "see above"
echo "passed"
