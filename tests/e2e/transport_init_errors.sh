#!/usr/bin/env bash
# The transport's non-exiting start-up (used by the CLI) reports why no capture runs: an
# interface that does not exist, and missing capture rights (the capture helper cannot capture
# for this user), each with a clear text and without ending the process through the adapter
# prompt.
# Usage: transport_init_errors.sh <module_dir> <source_dir>; exit 77 = skipped.
set -u
bin=$1 src=$2
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns
need_built netprobe
need_tools setpriv

"$src/scripts/segment.sh" --quiet --no-devsim -- bash -c '
  fail=0
  out=$("'"$bin"'/netprobe" --interface nosuch0 discover 2>&1); rc=$?
  if [ $rc -eq 3 ] && grep -q "interface nosuch0 does not exist" <<<"$out"; then echo "ok: missing interface"
  else echo "FAIL: missing interface: rc $rc: $out"; fail=1; fi
  out=$(setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all --bounding-set=-all \
        "'"$bin"'/netprobe" --interface "$IPS_SEGMENT_IF" discover 2>&1); rc=$?
  if [ $rc -eq 3 ] && grep -q "cannot open network adapter .*: \(no rights to capture\|capturing needs membership in the group\)" <<<"$out"; then echo "ok: no capture rights"
  else echo "FAIL: no capture rights: rc $rc: $out"; fail=1; fi
  exit $fail
'
