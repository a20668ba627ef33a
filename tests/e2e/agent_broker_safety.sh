#!/usr/bin/env bash
# The broker link's safety, against a real mosquitto in the program namespace of a small virtual
# segment (TLS on 127.0.0.1:8883, plain MQTT on the namespace's segment address, both with a
# password file):
#   - a running agent's /proc/PID/environ no longer holds IPSCANNER_MQTT_PASSWORD;
#   - a password over plain mqtt:// to an address that is not loopback is refused (exit 1, nothing
#     sent) for sites --mqtt and the agent, and goes with --allow-plaintext-password or the agent
#     file's allow_plaintext_password = yes;
#   - a broker certificate from a foreign CA is reported as such: sites --mqtt exits 15, the agent
#     says so in its log;
#   - sites --mqtt over 300 retained documents of 60 KB stays small in memory, and a broker
#     holding more than the view keeps gives a cut view that says so (stderr and --json);
#   - the agent records the site's problems (two devices on one address outside the network)
#     as problem events in its site's record, as `watch` does.
set -uo pipefail
bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner-cli
need_tools jq mosquitto mosquitto_pub mosquitto_passwd openssl python3 sqlite3
make_work ips-e2e-broker
site="e2e-broker-$$"
secret="broker-secret-$$-x9"
tag=""
broker_pid=""
agent_pid=""
at_exit() {
  local pid
  for pid in $agent_pid $broker_pid; do kill "$pid" 2>/dev/null; done
  for pid in $agent_pid $broker_pid; do wait "$pid" 2>/dev/null; done
  [ -n "$tag" ] && "$src/scripts/segment.sh" --quiet --down "$tag"
  rm -f "$bin/sites/$site.sqlite" "$bin/sites/$site.sqlite-wal" "$bin/sites/$site.sqlite-shm"
}

# --- two CAs: the broker's, and a foreign one that signed nothing of it.
for ca in ca other; do
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=ipscanner test $ca" \
    -keyout "$work/$ca.key" -out "$work/$ca.crt" 2>>"$work/openssl.log" || fail "no CA $ca"
done
openssl req -newkey rsa:2048 -nodes -subj "/CN=broker" -keyout "$work/broker.key" \
  -out "$work/broker.csr" 2>>"$work/openssl.log" || fail "no broker key"
printf 'subjectAltName=IP:127.0.0.1\n' >"$work/san.ext"
openssl x509 -req -in "$work/broker.csr" -CA "$work/ca.crt" -CAkey "$work/ca.key" -CAcreateserial \
  -days 2 -extfile "$work/san.ext" -out "$work/broker.crt" 2>>"$work/openssl.log" || fail "no cert"
touch "$work/passwd"
mosquitto_passwd -b "$work/passwd" agent "$secret" || fail "mosquitto_passwd"

IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet --keep --devsim "--count 3 --seed 5 --device-ip 1=192.168.77.10 --device-ip 2=192.168.77.10" \
  -- bash -c 'env | grep ^IPS_ >"$0"' "$work/segment.env" || fail "no segment"
tag=$(sed -n 's/^IPS_SEGMENT_TAG=//p' "$work/segment.env")
ns=$(sed -n 's/^IPS_SEGMENT_APP_NS=//p' "$work/segment.env")
app_if=$(sed -n 's/^IPS_SEGMENT_IF=//p' "$work/segment.env")
app_ip=$(sed -n 's/^IPS_SEGMENT_APP_IP=//p' "$work/segment.env")
[ -n "$ns" ] && [ -n "$app_ip" ] || fail "segment without namespace or address"

cat >"$work/mosquitto.conf" <<CONF
user root
persistence false
# The view subscribes to thousands of retained documents at once: no queue limit.
max_queued_messages 0
per_listener_settings false
allow_anonymous false
password_file $work/passwd
listener 8883 127.0.0.1
cafile $work/ca.crt
certfile $work/broker.crt
keyfile $work/broker.key
listener 1883 $app_ip
log_dest file $work/broker.out
CONF
ip netns exec "$ns" mosquitto -c "$work/mosquitto.conf" >"$work/broker-start.log" 2>&1 &
broker_pid=$!
wait_for 10 ip netns exec "$ns" bash -c 'exec 3<>/dev/tcp/127.0.0.1/8883' 2>/dev/null ||
  fail "the broker did not start"
in_ns() { ip netns exec "$ns" "$@"; }
fail=0

# --- the agent's environment block.
printf 'site = %s\nmqtt = mqtts://127.0.0.1:8883\nca = %s\nuser = agent\ninterface = %s\nspool = %s\n' \
  "$site" "$work/ca.crt" "$app_if" "$work/spool" >"$work/agent.conf"
# Started without a shell in between, so that $! is the agent itself.
ip netns exec "$ns" env IPSCANNER_MQTT_PASSWORD="$secret" "$bin/ipscanner-cli" agent \
  --config "$work/agent.conf" >"$work/agent.log" 2>&1 &
agent_pid=$!
connected() { grep -q "connected to" "$work/agent.log"; }
check "the agent connects with the password from the environment" wait_for 20 connected ||
  cat "$work/agent.log"
check "the process looked at is the agent" \
  test "$(readlink "/proc/$agent_pid/exe")" = "$(realpath "$bin/ipscanner-cli")"
check "the agent's /proc/PID/environ holds no broker password" \
  bash -c '! tr "\0" "\n" <"/proc/$0/environ" | grep -qF "$1"' "$agent_pid" "$secret"
for child in $(cat "/proc/$agent_pid/task/"*/children 2>/dev/null); do
  check "its child $child does not hold it either" \
    bash -c '! tr "\0" "\n" <"/proc/$0/environ" | grep -qF "$1"' "$child" "$secret"
done
# Devices 1 and 2 share an address outside the segment's network: each has two problems.
problem_events() {
  sqlite3 -batch -noheader "$bin/sites/$site.sqlite" \
    "SELECT count(*) FROM events WHERE kind = 'problem'" 2>/dev/null
}
problems_recorded() { [ "$(problem_events)" = 4 ]; }
wait_for 10 problems_recorded
kill -TERM "$agent_pid"; wait "$agent_pid"; agent_pid=""
check "the agent recorded the 4 problem events in the site record ($(problem_events))" \
  problems_recorded

# --- plain MQTT to an address that is not loopback.
sites() { in_ns env IPSCANNER_MQTT_PASSWORD="$secret" "$bin/ipscanner-cli" sites --user agent "$@"; }
seen=$(grep -c "New connection from" "$work/broker.out")
sites --mqtt "mqtt://$app_ip:1883" >"$work/plain.out" 2>&1
rc=$?
check "sites over plain mqtt:// to $app_ip with a password is refused (exit 1)" test "$rc" = 1
check "the refusal names the way out" grep -q "allow-plaintext-password" "$work/plain.out"
check "nothing reached the broker" test "$(grep -c "New connection from" "$work/broker.out")" = "$seen"
sites --mqtt "mqtt://$app_ip:1883" --allow-plaintext-password --json >"$work/plain-ok.out" \
  2>"$work/plain-ok.err"
rc=$?
check "with --allow-plaintext-password it connects (exit 0)" test "$rc" = 0 || cat "$work/plain-ok.err"

sed -e "s|^mqtt = .*|mqtt = mqtt://$app_ip:1883|" -e '/^ca = /d' "$work/agent.conf" >"$work/plain.conf"
in_ns env IPSCANNER_MQTT_PASSWORD="$secret" timeout 10 "$bin/ipscanner-cli" agent \
  --config "$work/plain.conf" >"$work/agent-plain.log" 2>&1
rc=$?
check "the agent over plain mqtt:// with a password is refused (exit 1)" test "$rc" = 1
printf 'allow_plaintext_password = yes\n' >>"$work/plain.conf"
: >"$work/agent.log"
ip netns exec "$ns" env IPSCANNER_MQTT_PASSWORD="$secret" "$bin/ipscanner-cli" agent \
  --config "$work/plain.conf" >"$work/agent.log" 2>&1 &
agent_pid=$!
check "with allow_plaintext_password = yes the agent connects" wait_for 20 connected ||
  cat "$work/agent.log"
kill -TERM "$agent_pid"; wait "$agent_pid"; agent_pid=""

# --- a certificate the CA file does not vouch for.
sites --mqtt mqtts://127.0.0.1:8883 --ca "$work/other.crt" >"$work/foreign.out" 2>&1
rc=$?
check "sites with a foreign CA exits 15" test "$rc" = 15 || cat "$work/foreign.out"
check "and says the certificate was refused" grep -q "certificate was refused" "$work/foreign.out"
check "not that the broker cannot be reached" bash -c "! grep -q 'cannot reach' '$work/foreign.out'"
sed -e "s|^ca = .*|ca = $work/other.crt|" "$work/agent.conf" >"$work/foreign.conf"
: >"$work/agent.log"
ip netns exec "$ns" env IPSCANNER_MQTT_PASSWORD="$secret" "$bin/ipscanner-cli" agent \
  --config "$work/foreign.conf" >"$work/agent.log" 2>&1 &
agent_pid=$!
refused() { grep -q "certificate was refused" "$work/agent.log"; }
check "the agent with a foreign CA says its certificate was refused" wait_for 20 refused ||
  cat "$work/agent.log"
kill -TERM "$agent_pid"; wait "$agent_pid"; agent_pid=""

# --- memory: 300 retained device documents of about 60 KB, each of many small values.
publish() {  # python3 publish.py HOST PORT FIRST COUNT KIND: retained documents over plain MQTT
  in_ns python3 "$work/publish.py" "$@"
}
cat >"$work/publish.py" <<'PY'
import json, socket, struct, sys
host, port, first, count, kind = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
user, password = b"agent", sys.argv[6].encode()
def length(n):
    out = bytearray()
    while True:
        byte, n = n % 128, n // 128
        out.append(byte | (128 if n else 0))
        if not n:
            return bytes(out)
def text(b):
    return struct.pack("!H", len(b)) + b
s = socket.create_connection((host, port))
body = text(b"MQTT") + bytes([4, 0xC2]) + struct.pack("!H", 60) + text(b"e2e-pub") + text(user) + text(password)
s.sendall(bytes([0x10]) + length(len(body)) + body)
assert s.recv(4)[3] == 0, "connection refused"
for n in range(first, first + count):
    mac = "02AA%08X" % n
    if kind == "wide":  # ~56 KB of empty objects: some 20 times that as a parsed document
        doc = {"ip": "10.9.%d.%d" % (n // 250, n % 250), "mac": mac, "status": "online",
               "history": [{}] * 14000}
    else:  # every kept field at its longest
        doc = {k: "x" * 400 for k in ("ip", "mac", "work_mac", "model", "room", "firmware", "status", "first_seen", "last_seen")}
        doc["problems"] = [{"code": "c" * 400, "text": "t" * 400, "detail": "d" * 400}] * 8
    payload = json.dumps(doc).encode()
    topic = text(("ipscanner/%s/devices/%s" % (kind, mac)).encode())
    s.sendall(bytes([0x31]) + length(len(topic) + len(payload)) + topic + payload)
# The broker answers a ping after everything sent before it: then it holds every document.
s.sendall(b"\xc0\x00")
reply = b""
while not reply.endswith(b"\xd0\x00"):
    chunk = s.recv(4096)
    assert chunk, "the broker closed the connection"
    reply += chunk
s.sendall(b"\xe0\x00")
s.close()
PY
publish "$app_ip" 1883 0 300 wide "$secret" || fail "cannot publish the wide documents"
sites_peak() {  # sites --mqtt ... ; its peak resident memory in KB into $work/peak
  in_ns env IPSCANNER_MQTT_PASSWORD="$secret" /usr/bin/time -f %M -o "$work/peak" \
    "$bin/ipscanner-cli" sites --user agent --mqtt mqtts://127.0.0.1:8883 --ca "$work/ca.crt" \
    --wait 30 "$@"
}
sites_peak --devices --json >"$work/wide.json" 2>"$work/wide.err"
peak=$(cat "$work/peak")
check "sites lists the 300 wide documents" \
  jq -e '.[] | select(.site == "wide") | .devices == 300 and (.device_list | length) == 300
         and .view_cut == false' "$work/wide.json" || cat "$work/wide.err"
check "in at most 80 MB (peak $((peak / 1024)) MB)" test "$peak" -lt $((80 * 1024))

# --- more than the view keeps: 4,000 documents with every field at its longest.
publish "$app_ip" 1883 0 4000 full "$secret" || fail "cannot publish the full documents"
sites_peak --json >"$work/cut.json" 2>"$work/cut.err"
rc=$?
peak=$(cat "$work/peak")
check "a cut view still lists (exit 0)" test "$rc" = 0 || cat "$work/cut.err"
check "stderr says the view is cut" grep -q "the view is cut" "$work/cut.err"
check "--json says so, with the documents left out" \
  jq -e 'all(.[]; .view_cut == true) and
         (.[] | select(.site == "full") | .devices_left_out > 0 and .devices + .devices_left_out == 4000)' \
  "$work/cut.json" || jq -c '.[] | {site, devices, devices_left_out, view_cut}' "$work/cut.json"
check "within the bound (peak $((peak / 1024)) MB)" test "$peak" -lt $((80 * 1024))
[ "$fail" = 0 ] || fail "see above"
echo "passed"
