#!/usr/bin/env bash
# The site agent's service unit, checked offline by systemd-analyze (no systemd needs to run):
#   - its exposure level stays at 2.5 or below;
#   - it keeps what the capture helper needs: cap_net_raw in the bounding set, and neither
#     NoNewPrivileges= nor PrivateUsers= (either would keep the helper's file capability from
#     counting), and a system-call filter that still allows capset (the helper drops its
#     capability with it) and packet sockets.
# Usage: agent_unit_hardening.sh <module folder> <source folder>
set -uo pipefail
bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_tools systemd-analyze
make_work ips-e2e-agent-unit
unit="$src/packaging/ipscanner-agent@.service"
[ -f "$unit" ] || fail "no $unit"
fail=0

# systemd-analyze wants a unit name it can instantiate: copy it as a template instance.
cp "$unit" "$work/ipscanner-agent@site.service"
systemd-analyze security --offline=true --no-pager "$work/ipscanner-agent@site.service" \
  >"$work/security.txt" 2>&1
level=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' "$work/security.txt")
[ -n "$level" ] || { cat "$work/security.txt"; fail "no exposure level in systemd-analyze's output"; }
check "exposure level $level is 2.5 or less" awk -v l="$level" 'BEGIN { exit !(l <= 2.5) }' \
  || grep '✗' "$work/security.txt"

setting() {  # the unit's last value of a setting (systemd's rule for most of them)
  sed -n "s/^$1=//p" "$unit" | tail -1
}
check "CAP_NET_RAW stays in the bounding set" grep -qw CAP_NET_RAW <<<"$(setting CapabilityBoundingSet)"
check "NoNewPrivileges is not set" test -z "$(setting NoNewPrivileges | grep -iE '^(yes|true|1|on)$')"
check "PrivateUsers is not set" test -z "$(setting PrivateUsers | grep -iE '^(yes|true|1|on)$')"
check "AF_PACKET is an allowed address family" grep -qw AF_PACKET <<<"$(setting RestrictAddressFamilies)"

# Every system call the helper needs to open a capture and drop its capability is in what the
# filter lines allow (the first line is an allow list, lines with ~ take groups away again).
expand() {  # group and call names -> the calls, one a line (groups name groups in turn)
  local name
  for name; do
    if [[ $name == @* ]]; then
      expand $(systemd-analyze syscall-filter --no-pager "$name" 2>/dev/null |
        sed '1d; /^ *#/d' | tr -s ' ' '\n' | grep -E '^@?[a-z_0-9-]+$')
    else
      echo "$name"
    fi
  done
}
allow=() deny=()
while IFS= read -r line; do
  if [[ $line == ~* ]]; then read -ra words <<<"${line#\~}"; deny+=("${words[@]}")
  else read -ra words <<<"$line"; allow+=("${words[@]}"); fi
done < <(sed -n 's/^SystemCallFilter=//p' "$unit")
[ ${#allow[@]} -gt 0 ] || fail "the unit has no system-call allow list"
allowed=$(comm -23 <(expand "${allow[@]}" | sort -u) <(expand "${deny[@]}" | sort -u))
for call in socket bind setsockopt mmap poll sendto recvfrom capset capget prctl execve \
  socketpair clone; do
  check "the system-call filter allows $call" grep -qx "$call" <<<"$allowed"
done
[ "$fail" = 0 ] || fail "see above"
echo "passed"
