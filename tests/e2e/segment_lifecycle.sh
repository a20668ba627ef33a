#!/usr/bin/env bash
# The virtual segment passes the command's exit code through and leaves nothing behind: no
# namespace, no simulator, whether the command ends or the script is stopped by a signal.
# Usage: segment_lifecycle.sh <module_dir> <source_dir>; exit 77 = skipped.
set -u
bin=$1 src=$2
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns
need_built devsim
segment=$src/scripts/segment.sh
make_work
fail=0
gone() {  # tag pid
  ! ip netns list | grep -q "^ips-$1-" && ! kill -0 "$2" 2>/dev/null
}

# 1. Exit code of the command, variables it sees, and cleanup after it ends.
"$segment" --quiet --devsim-bin "$bin/devsim" --devsim "--count 2" -- \
  bash -c 'echo "$IPS_SEGMENT_TAG $IPS_DEVSIM_PID $IPS_SEGMENT_IF $IPS_SEGMENT_APP_IP $(ip netns identify $$)" > '"$work/env"'; exit 7'
rc=$?
read -r tag pid ifname appip ns < "$work/env"
check "command exit code passed through (got $rc)" eval '[ "$rc" = 7 ]'
check "command ran in the program namespace" eval '[ "$ns" = "ips-$tag-app" ] && ip -V >/dev/null'
check "interface and address exported" eval '[ "$ifname" = "ips${tag}a" ] && [ "$appip" = 10.213.0.1 ]'
check "namespaces and devsim removed after the command" eval 'gone "$tag" "$pid"'

# 2. A signal to the script tears the segment down at once, even while the command runs.
"$segment" --quiet --devsim-bin "$bin/devsim" --devsim "--count 2" -- \
  bash -c 'echo "$IPS_SEGMENT_TAG $IPS_DEVSIM_PID" > '"$work/env2"'; sleep 60' &
seg=$!
wait_for 5 test -s "$work/env2"
read -r tag pid < "$work/env2"
start=$(date +%s)
kill -TERM "$seg"
wait "$seg"
rc=$?
check "stopped by TERM within seconds (rc $rc)" eval '[ $(( $(date +%s) - start )) -le 5 ] && [ "$rc" -ne 0 ]'
check "namespaces and devsim removed after TERM" eval 'gone "$tag" "$pid"'

# 3. --keep leaves the segment for a demo; --down removes it.
"$segment" --quiet --keep --no-devsim -- bash -c 'echo "$IPS_SEGMENT_TAG" > '"$work/env3"
read -r tag < "$work/env3"
check "--keep leaves the namespaces" eval 'ip netns list | grep -q "^ips-$tag-app"'
"$segment" --quiet --down "$tag"
check "--down removes them" eval '! ip netns list | grep -q "^ips-$tag-"'

exit $fail
