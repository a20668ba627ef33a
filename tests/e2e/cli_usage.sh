#!/usr/bin/env bash
# The command line's contract for scripts: exit codes and messages for usage errors, a missing
# adapter, missing capture rights and unreadable capture files, the codes listed in --help, and
# an empty segment giving an empty JSON array. The parts that need namespaces run only as root.
set -uo pipefail
bin=${1:?module folder}
src=${2:?source folder}
cli="$bin/ipscanner-cli"
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_built ipscanner-cli

ns=""
at_exit() { [ -n "$ns" ] && ip netns del "$ns" 2>/dev/null; }
make_work ips-e2e-usage

fail=0
expect() {  # code, pattern in stderr or "", description, command...
  local code=$1 pattern=$2 what=$3; shift 3
  "$@" >"$work/out" 2>"$work/err" </dev/null
  local rc=$?
  if [ $rc -ne "$code" ]; then
    echo "FAIL: $what: exit $rc, expected $code"; sed 's/^/  | /' "$work/err"; fail=1
  elif [ -n "$pattern" ] && ! grep -q -- "$pattern" "$work/err"; then
    echo "FAIL: $what: stderr lacks '$pattern'"; sed 's/^/  | /' "$work/err"; fail=1
  else
    echo "ok: $what"
  fi
}

expect 0 "" "--help" "$cli" --help
for code in 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16; do
  grep -q "^  $code  " "$work/out" || { echo "FAIL: --help does not document exit code $code"; fail=1; }
done
grep -q "^  config" "$work/out" && { echo "FAIL: the config command is listed in --help"; fail=1; }
expect 0 "" "--version" "$cli" --version
grep -Eqx "ipscanner-cli [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+" "$work/out" \
  || { echo "FAIL: --version printed '$(cat "$work/out")'"; fail=1; }
expect 1 "subcommand is required" "no subcommand" "$cli"
expect 1 "" "unknown option" "$cli" scan --bogus
expect 1 "" "seconds out of range" "$cli" scan --seconds 0
expect 1 "" "decode without a file" "$cli" decode
expect 1 "PATH=VALUE" "config --set without =" "$cli" config --mac 021A2B3C4D5E --set Config.Network.LAN.Type
expect 2 "no adapter: interface ips-nonexistent0" "missing interface" "$cli" scan --interface ips-nonexistent0 --seconds 1
expect 4 "cannot read capture" "missing capture file" "$cli" decode "$work/none.pcap"
expect 1 "needs --gateway" "assign --from without a gateway" "$cli" assign --all --from 10.0.0.1
expect 1 "one of them" "assign: devices and --all" "$cli" assign --all 02:00:00:00:00:01 --plan x.csv
expect 1 "--from IP or --plan FILE" "assign: both rules" "$cli" assign --all --plan x.csv --from 10.0.0.1 --gateway 10.0.0.2
expect 4 "cannot read the plan file" "assign: missing plan file" "$cli" assign --all --plan "$work/none.csv"
printf 'mac,ip\n02:00:00:00:00:01,10.0.0.5\nzz,10.0.0.6\n' >"$work/plan.csv"
expect 10 "line 3: mac" "assign: a bad plan row, before any adapter is opened" "$cli" assign --all --plan "$work/plan.csv" --interface ips-nonexistent0
printf 'not a capture file at all\n' >"$work/text.pcap"
expect 4 "cannot read capture" "capture file of another format" "$cli" decode "$work/text.pcap"

if [ "$(id -u)" -eq 0 ] && ip netns list >/dev/null 2>&1; then
  # A namespace of our own with a veth pair inside it: nothing sent there can leave it.
  ns="ips-usage-$$"
  ip netns add "$ns" && ip -n "$ns" link add ipsusage0 type veth peer name ipsusage1 &&
    ip -n "$ns" addr add 10.254.0.1/24 dev ipsusage0 && ip -n "$ns" link set ipsusage0 up
  # A copy of the executable carries no file capabilities, so an unprivileged user has none.
  cp "$cli" "$work/ipscanner-cli" && chmod 755 "$work" "$work/ipscanner-cli"
  if command -v setpriv >/dev/null; then
    expect 3 "no capture rights" "unprivileged user" \
      ip netns exec "$ns" setpriv --reuid=65534 --regid=65534 --clear-groups "$work/ipscanner-cli" scan --interface ipsusage0 --seconds 1
  fi
  # An empty segment: a valid, empty JSON array and exit 0.
  "$src/scripts/segment.sh" --quiet -- bash -c '"$0" scan --interface "$IPS_SEGMENT_IF" --seconds 1 --json' "$cli" \
    >"$work/empty.json" 2>"$work/empty.err"
  rc=$?
  if [ $rc -eq 0 ] && [ "$(tr -d ' \n' <"$work/empty.json")" = "[]" ]; then
    echo "ok: empty segment gives []"
  else
    echo "FAIL: empty segment: exit $rc, output $(head -c 200 "$work/empty.json")"; sed 's/^/  | /' "$work/empty.err"; fail=1
  fi
else
  echo "note: not root, capture-rights and segment cases skipped"
fi

[ $fail -eq 0 ] && echo "PASS: exit codes and messages"
exit $fail
