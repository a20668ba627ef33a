#!/usr/bin/env bash
# logview's capability (cap_net_bind_service, as the package gives it) serves its own port 106
# and nothing else. Run by an unprivileged user (uid 65534, no groups) from a copy that carries
# the capability:
# - a low port other than 106 (syslog's 514, where it would receive what is sent there) is
#   refused with a message and never bound;
# - on port 106 it runs with no capability left (effective and permitted sets empty, no new
#   privileges), and still shows what arrives;
# - a port from 1024 up needs no capability and stays allowed.
# Runs in a network namespace of its own, so ports 106 and 514 are the test's.
# Usage: logview_privileges.sh <module folder> <source folder>; exit 77 = skipped.
set -u
bin=$(realpath "${1:?module folder}")
src=$(realpath "${2:?source folder}")
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_built logview
need_tools setpriv setcap
in_segment "$bin" "$src"
make_work ips-e2e-logview
chmod 755 "$work"
viewer=""
at_exit() { [ -n "$viewer" ] && kill "$viewer" 2>/dev/null; }
fail=0

logview=$work/logview
cp "$bin/logview" "$logview" && chmod 0755 "$logview"
setcap cap_net_bind_service+ep "$logview" 2>/dev/null || skip "no file capabilities on $work"
as_user() { setpriv --reuid=65534 --regid=65534 --clear-groups -- "$@"; }
status_field() { sed -n "s/^$2:[[:space:]]*//p" "/proc/$1/status"; }

as_user "$logview" --port 514 --timeout 1 >"$work/syslog-port.out" 2>"$work/syslog-port.err"
rc=$?
check "port 514 is refused with a message (exit $rc: $(cat "$work/syslog-port.err"))" \
  eval '[ $rc -eq 1 ] && grep -q "port 514 refused" "$work/syslog-port.err" &&
        ! grep -q listening "$work/syslog-port.err"'

# Not through as_user: a function in the background would run in a subshell of its own, and $!
# would name that; setpriv executes logview in its own process.
setpriv --reuid=65534 --regid=65534 --clear-groups -- "$logview" --port 106 --timeout 20 --count 1 \
  >"$work/own-port.out" 2>"$work/own-port.err" &
viewer=$!
wait_for 5 grep -q listening "$work/own-port.err" || fail "logview did not bind port 106: $(cat "$work/own-port.err")"
echo "logview on 106: CapEff $(status_field "$viewer" CapEff), CapPrm $(status_field "$viewer" CapPrm)"
check "on its port it has no capability left" \
  eval '[ "$(status_field "$viewer" CapEff)" = 0000000000000000 ] &&
        [ "$(status_field "$viewer" CapPrm)" = 0000000000000000 ]'
check "and may gain none (no_new_privs)" test "$(status_field "$viewer" NoNewPrivs)" = 1
printf 'abc' >/dev/udp/127.0.0.1/106
wait "$viewer"
rc=$?
viewer=""
check "it still shows what arrives (exit $rc)" \
  eval '[ $rc -eq 0 ] && grep -q "malformed datagram (3 bytes)" "$work/own-port.out"'

check "a port from 1024 up stays allowed" as_user "$logview" --port 5140 --timeout 0.2
exit $fail
