#!/usr/bin/env bash
# One instance per user: a second start raises the running window and exits 0; a start while
# the first one is still starting exits 0; a start during a restart hand-over runs; the restart
# itself (SIGUSR1) hands over to a successor.
# Usage: app_single_instance.sh <module folder> <source folder>
set -u
bin=$(realpath "${1:?module folder}")
src=$(realpath "${2:?source folder}")
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_built ipscanner
need_tools flock
in_segment "$bin" "$src"

app_work
helpers=()

at_exit() {
  local p
  for p in $(our_instances) "${helpers[@]}"; do kill -KILL "$p" 2>/dev/null; done
}
listening() { [ -S "$run/instance.sock" ]; }

# 1. A second start while the first runs: exit 0 at once, the first comes to the front.
"$exe" > "$work/first.log" 2>&1 &
first=$!
wait_for 10 listening || fail "first instance never came up"
timeout 10 "$exe" > "$work/second.log" 2>&1
rc=$?
[ $rc -eq 0 ] || fail "second start exited $rc, expected 0"
wait_for 5 grep -q "activated by a second start" "$work/first.log" || fail "first window was not raised"
[ "$(our_instances | wc -l)" -eq 1 ] || fail "more than one instance runs"
kill -TERM "$first"; wait "$first"; rc=$?
[ $rc -eq 0 ] || fail "normal close exited $rc"
echo "ok: second start raised the first window and exited 0"

# 2. A start while another one still starts (lock held, no window yet): exit 0.
flock -x -o "$run/instance.lock" sleep 30 &
holder=$!
helpers+=("$holder")
wait_for 5 bash -c "! flock -n '$run/instance.lock' true" || fail "lock holder did not take the lock"
timeout 10 "$exe" > "$work/starting.log" 2>&1
rc=$?
[ $rc -eq 0 ] || fail "start during another's start-up exited $rc, expected 0"
[ -z "$(our_instances)" ] || fail "an instance kept running"
echo "ok: start while another instance starts exits 0"

# 3. A start during a hand-over (lock still held, marker names the live old instance): runs,
#    and takes the lock once the old instance is gone.
echo "$holder" > "$run/handover"
"$exe" > "$work/successor.log" 2>&1 &
successor=$!
sleep 0.5
pkill -KILL -P "$holder" 2>/dev/null; kill -KILL "$holder"
wait_for 10 listening || fail "successor did not come up during the hand-over"
[ ! -e "$run/handover" ] || fail "hand-over marker left behind"
timeout 10 "$exe" > /dev/null 2>&1 || fail "third start did not exit 0"
wait_for 5 grep -q "activated by a second start" "$work/successor.log" || fail "successor does not own the desktop"
kill -TERM "$successor"; wait "$successor"
echo "ok: start during a hand-over runs"

# 4. The restart hand-over itself: the old instance exits 1 and a successor takes over.
"$exe" > "$work/old.log" 2>&1 &
old=$!
wait_for 10 listening || fail "instance for the restart never came up"
kill -USR1 "$old"; wait "$old"; rc=$?
[ $rc -eq 1 ] || fail "restarting instance exited $rc, expected 1"
wait_for 10 listening || fail "no successor after the restart"
new=$(our_instances)
[ -n "$new" ] && [ "$new" != "$old" ] || fail "successor not found"
timeout 10 "$exe" > /dev/null 2>&1 || fail "start after the restart did not exit 0"
kill -TERM $new
wait_for 10 bash -c "! kill -0 $new 2>/dev/null" || fail "successor did not end on SIGTERM"
echo "ok: restart hands over to a successor"
exit 0
