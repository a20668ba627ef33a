#!/usr/bin/env bash
# A restart hands over to a successor that inherits none of the old instance's descriptors:
# after two restarts the program holds as many capture sockets and instance locks as a fresh
# start, and hardly more descriptors in all.
# Usage: app_restart_descriptors.sh <module folder> <source folder>
set -u
bin=$(realpath "${1:?module folder}")
src=$(realpath "${2:?source folder}")
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_built ipscanner
in_segment "$bin" "$src"

app_work

at_exit() {
  local p
  for p in $(our_instances); do kill -KILL "$p" 2>/dev/null; done
}
listening() { [ -S "$run/instance.sock" ]; }
all_fds() { ls "/proc/$1/fd" | wc -l; }
lock_fds() { find "/proc/$1/fd" -lname "$run/instance.lock" | wc -l; }
# Packet (capture) sockets among the process's descriptors, by the inodes of /proc/net/packet
# (one find over the descriptors rather than a readlink each).
packet_fds() {
  local inodes
  inodes=$(awk 'NR > 1 { print "socket:[" $NF "]" }' /proc/net/packet)
  if [ -z "$inodes" ]; then echo 0; return; fi
  find "/proc/$1/fd" -mindepth 1 -lname 'socket:*' -printf '%l\n' 2>/dev/null | grep -cxF -- "$inodes"
}
has_capture() { [ "$(packet_fds "$1")" -gt 0 ]; }
# The descriptors of an instance once its window has opened the adapters and settled.
settled() {
  wait_for 10 has_capture "$1" || fail "instance $1 never opened a capture"
  sleep 1
  echo "$(all_fds "$1") $(packet_fds "$1") $(lock_fds "$1")"
}

"$exe" > "$work/first.log" 2>&1 &
pid=$!
wait_for 10 listening || fail "first instance never came up"
read -r fds0 packet0 lock0 < <(settled "$pid")
echo "fresh start: $fds0 descriptors, $packet0 capture sockets, $lock0 instance locks"
for round in 1 2; do
  kill -USR1 "$pid"
  wait_for 10 bash -c "! kill -0 $pid 2>/dev/null" || fail "instance $pid did not hand over"
  wait_for 10 listening || fail "no successor after restart $round"
  next=$(our_instances)
  [ -n "$next" ] && [ "$next" != "$pid" ] || fail "successor of restart $round not found"
  pid=$next
  read -r fds packets locks < <(settled "$pid")
  echo "after restart $round: $fds descriptors, $packets capture sockets, $locks instance locks"
done
[ "$packets" -eq "$packet0" ] || fail "capture sockets grew from $packet0 to $packets"
[ "$locks" -eq "$lock0" ] || fail "instance locks grew from $lock0 to $locks"
[ "$fds" -le $((fds0 + 2)) ] || fail "descriptors grew from $fds0 to $fds"
echo "ok: two restarts leave the successor with a fresh start's descriptors"
kill -TERM "$pid"
wait_for 10 bash -c "! kill -0 $pid 2>/dev/null" || fail "successor did not end on SIGTERM"
exit 0
