#!/usr/bin/env bash
# Adapters that are there but cannot be used: an interface that is switched off (it keeps its
# IPv4 address) is never listed or opened, so "All" still starts on the others; naming it, or a
# setting naming an interface that does not exist, gives a message with the adapter (and the
# setting) and the reason, never the capture-driver prompt.
# Usage: transport_adapter_states.sh <module_dir> <source_dir>; exit 77 = skipped.
set -u
bin=$1 src=$2
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns
need_built ipscanner-cli
make_work ips-adapters
# A module folder of its own, so the settings written here touch no other test.
mkdir -p "$work/mod"
cp "$bin/ipscanner-cli" "$work/mod/"
cp -r "$bin/config" "$bin/Language" "$work/mod/"

"$src/scripts/segment.sh" --quiet --no-devsim -- bash -c '
  fail=0 mod=$0
  settings() {
    printf "[NET_CONN_SETTING]\nInterface=%s\nAdapterName=%s\n" "$1" "$2" >"$mod/config/SystemSetting.ini"
  }
  expect() {  # what rc text command...
    local what=$1 want_rc=$2 want=$3 out rc; shift 3
    out=$("$@" 2>&1); rc=$?
    if [ "$rc" -eq "$want_rc" ] && grep -q -- "$want" <<<"$out" && ! grep -q npcap <<<"$out"; then
      echo "ok: $what"
    else echo "FAIL: $what: rc $rc: $out"; fail=1; fi
  }
  ip link add ipsdown0 type veth peer name ipsdown1 && ip addr add 10.77.0.1/24 dev ipsdown0 || exit 1
  settings All ""
  expect "All skips the interface that is not up" 0 "devices" \
    "$mod/ipscanner-cli" scan --seconds 1
  expect "a named interface that is not up" 2 "interface ipsdown0 is not up" \
    "$mod/ipscanner-cli" scan --interface ipsdown0 --seconds 1
  expect "loopback is no capture adapter" 2 "interface lo is a loopback interface" \
    "$mod/ipscanner-cli" scan --interface lo --seconds 1
  settings "" nosuch9
  expect "the setting names a missing interface" 2 \
    "setting AdapterName in config/SystemSetting.ini names interface nosuch9, which does not exist" \
    "$mod/ipscanner-cli" scan --seconds 1
  exit $fail
' "$work/mod"
