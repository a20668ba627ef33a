#!/usr/bin/env bash
# The log viewer shows the program's log lines live: a viewer on 127.0.0.1:106 receives the
# lines a process writes through its log channel (bound to the first free port of 122..137),
# and notes malformed datagrams without stopping.
# Usage: logview_live.sh <module_dir> <source_dir>. Exit 77 when it cannot run here.
set -uo pipefail
bin=${1:?module dir}
logview="$bin/logview"
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_built logview
need_root "ports 106 and 122..137 need root"

pids=()
at_exit() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
}
make_work

# Waits up to 5 s for a line matching $2 in file $1.
wait_for_line() { wait_for 5 grep -Eqs -- "$2" "$1"; }

# Usage errors are reported with exit code 1.
"$logview" --port abc >/dev/null 2>&1; [ $? -eq 1 ] || fail "bad --port accepted"
"$logview" --count 0 >/dev/null 2>&1; [ $? -eq 1 ] || fail "--count 0 accepted"

# Hold port 122 so the sender must take 123.
"$logview" --port 122 --timeout 30 >/dev/null 2>"$work/blocker.err" &
pids+=($!)
wait_for_line "$work/blocker.err" "listening" || skip "port 122 is in use"

"$logview" --port 106 --count 8 --timeout 30 >"$work/view.log" 2>"$work/view.err" &
viewer=$!
pids+=($viewer)
wait_for_line "$work/view.err" "listening" || skip "port 106 is in use"

"$logview" --selftest-send || fail "sender failed"

# The lines are there while the viewer is still waiting for more: they arrived live.
wait_for_line "$work/view.log" "selftest from local port" || fail "lines did not arrive"
kill -0 "$viewer" 2>/dev/null || fail "viewer ended early"

# Malformed datagrams: too short, wrong markers, odd length.
send() { printf "$1" >/dev/udp/127.0.0.1/106; }
send 'abc'
send "\xBE\xBEhead$(printf '%032d' 0)"
send "\xBE\xBF\x06\x00$(printf '%032d' 0)x"
wait "$viewer"; rc=$?
[ $rc -eq 0 ] || fail "viewer exit code $rc"

ts='[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}'
expected=(
  "^$ts DEBUG IPScanner Enter CControl::OnCtrlMsg\$"
  "^$ts INFO IPScanner Init successs\.\$"
  "^$ts ERROR IPScanner CControl::OnSocketMsg: ParseDiscoverAckMsg failed\.\$"
  "^$ts INFO IPScanner x{511}\$"
  "^$ts INFO IPScanner selftest from local port 123\$"
  "^$ts malformed datagram \(3 bytes\): too short\$"
  "^$ts malformed datagram \(38 bytes\): wrong markers\$"
  "^$ts malformed datagram \(37 bytes\): odd length\$"
)
mapfile -t lines <"$work/view.log"
[ ${#lines[@]} -eq ${#expected[@]} ] || fail "expected ${#expected[@]} lines, got ${#lines[@]}"
for i in "${!expected[@]}"; do
  [[ "${lines[$i]}" =~ ${expected[$i]} ]] || fail "line $((i + 1)): '${lines[$i]:0:80}'"
done
echo "PASS: viewer showed every line live and noted the malformed datagrams"
