#!/usr/bin/env bash
# Virtual segment for device traffic: two network namespaces joined by a veth pair, with names
# unique to this run, so that nothing sent for devices (UDP 8500, multicast 238.8.8.1) can
# reach a real interface. Optionally starts the device simulator in the device namespace,
# runs a command in the program's namespace and removes everything when the command ends.
#
# Usage:
#   scripts/segment.sh [options] -- <command> [args...]
#   scripts/segment.sh [options]            (no command: set up, print, wait for Ctrl-C)
#   scripts/segment.sh --down <tag>         (remove a segment left by --keep)
# Options:
#   --devsim "<args>"   start devsim with these arguments (its --interface is added)
#   --no-devsim         do not start devsim (the default when --devsim is not given)
#   --devsim-bin PATH   devsim executable (default: $IPS_DEVSIM, else build/bin/devsim)
#   --links 2           a second veth pair between the same namespaces (10.213.255.1/.2)
#   --keep              leave the segment and devsim running after the command ends
#   --quiet             no progress lines on stderr
#
# The command runs as root inside the program's namespace with these variables:
#   IPS_SEGMENT_TAG       unique tag of this segment (for --down)
#   IPS_SEGMENT_APP_NS    program namespace      IPS_SEGMENT_DEV_NS   device namespace
#   IPS_SEGMENT_IF        program-side interface IPS_SEGMENT_DEV_IF   device-side interface
#   IPS_SEGMENT_APP_IP    program-side address   IPS_SEGMENT_DEV_IP   device-side address
#   IPS_SEGMENT_APP_MAC   program-side MAC       IPS_SEGMENT_DEV_MAC  device-side MAC
#   IPS_SEGMENT_PREFIX    prefix length of the segment's network (16)
#   IPS_SEGMENT_IF2, IPS_SEGMENT_APP_IP2, IPS_SEGMENT_APP_MAC2, IPS_SEGMENT_DEV_IF2,
#   IPS_SEGMENT_DEV_IP2, IPS_SEGMENT_DEV_MAC2   the second pair (with --links 2; else empty)
#   IPS_DEVSIM_PID        devsim's pid (empty without devsim)
#   IPS_DEVSIM_LOG        devsim's output file (empty without devsim)
# Run further commands in the device namespace with: ip netns exec "$IPS_SEGMENT_DEV_NS" ...
# The exit code is the command's; 2 for a usage error, 3 when the segment cannot be set up.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)

app_ip=10.213.0.1
dev_ip=10.213.0.2
prefix=16

devsim_args=""
use_devsim=0
devsim_bin=${IPS_DEVSIM:-$root/build/bin/devsim}
keep=0
links=1
quiet=0
down_tag=""
command=()

say() { [ "$quiet" = 1 ] || echo "segment: $*" >&2; }
usage() { sed -n '2,/^[^#]/{/^#/p}' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }

while [ $# -gt 0 ]; do
  case "$1" in
    --devsim) [ $# -ge 2 ] || usage; devsim_args=$2; use_devsim=1; shift 2 ;;
    --no-devsim) use_devsim=0; shift ;;
    --devsim-bin) [ $# -ge 2 ] || usage; devsim_bin=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --links) [ $# -ge 2 ] || usage; links=$2; shift 2
      case "$links" in 1|2) ;; *) echo "segment: --links is 1 or 2" >&2; exit 2 ;; esac ;;
    --quiet) quiet=1; shift ;;
    --down) [ $# -ge 2 ] || usage; down_tag=$2; shift 2 ;;
    -h|--help) usage ;;
    --) shift; command=("$@"); break ;;
    *) echo "segment: unknown option $1" >&2; usage ;;
  esac
done

if [ "$(id -u)" -ne 0 ]; then echo "segment: needs root (network namespaces)" >&2; exit 3; fi
if ! ip netns list >/dev/null 2>&1; then echo "segment: ip netns is not available" >&2; exit 3; fi

remove_segment() {  # tag
  local tag=$1 pidfile="/run/ips-segment-$1.devsim"
  if [ -f "$pidfile" ]; then
    local pid
    pid=$(cat "$pidfile")
    # Only the simulator this segment started, and only while it still runs in its namespace.
    if [ -n "$pid" ] && [ "$(ip netns identify "$pid" 2>/dev/null)" = "ips-$tag-dev" ]; then
      kill "$pid" 2>/dev/null
      for _ in 1 2 3 4 5 6 7 8 9 10; do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$pid" 2>/dev/null
    fi
    rm -f "$pidfile"
  fi
  ip netns del "ips-$tag-app" 2>/dev/null
  ip netns del "ips-$tag-dev" 2>/dev/null
  return 0
}

if [ -n "$down_tag" ]; then
  case "$down_tag" in *[!A-Za-z0-9]*) echo "segment: bad tag" >&2; exit 2 ;; esac
  remove_segment "$down_tag"
  say "removed segment $down_tag"
  exit 0
fi

if [ "$use_devsim" = 1 ] && [ ! -x "$devsim_bin" ]; then
  echo "segment: devsim not found at $devsim_bin (use --devsim-bin)" >&2; exit 3
fi

tag="$$"
if ip netns list | grep -q "^ips-$tag-"; then tag="$$r$RANDOM"; fi
app_ns="ips-$tag-app"
dev_ns="ips-$tag-dev"
app_if="ips${tag}a"
dev_if="ips${tag}d"
app_if2="" dev_if2="" app_mac2="" dev_mac2="" app_ip2="" dev_ip2=""
if [ "$links" = 2 ]; then app_if2="ips${tag}b"; dev_if2="ips${tag}e"; app_ip2=10.213.255.1; dev_ip2=10.213.255.2; fi
devsim_pid=""
devsim_log=""
workdir=$(mktemp -d /tmp/ips-segment-XXXXXX)

teardown() {
  if [ "$keep" = 1 ]; then
    say "kept segment $tag (remove with: $0 --down $tag)"
    return
  fi
  remove_segment "$tag"
  rm -rf "$workdir"
}

cmd_pid=""
on_signal() {
  trap - EXIT
  keep=0
  # The command this script started ends with the segment.
  if [ -n "$cmd_pid" ]; then kill "$cmd_pid" 2>/dev/null; wait "$cmd_pid" 2>/dev/null; fi
  teardown
  exit 130
}
trap teardown EXIT
trap on_signal INT TERM HUP

setup() {
  ip netns add "$app_ns" || return 1
  ip netns add "$dev_ns" || return 1
  ip link add "$app_if" type veth peer name "$dev_if" || return 1
  ip link set "$app_if" netns "$app_ns" || return 1
  ip link set "$dev_if" netns "$dev_ns" || return 1
  local ns ifname addr
  for ns in "$app_ns" "$dev_ns"; do
    if [ "$ns" = "$app_ns" ]; then ifname=$app_if; addr=$app_ip; else ifname=$dev_if; addr=$dev_ip; fi
    ip -n "$ns" link set lo up || return 1
    # No IPv6 chatter on the segment: only what the test sends goes over it.
    ip netns exec "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 >/dev/null 2>&1
    ip netns exec "$ns" sysctl -qw net.ipv6.conf.default.disable_ipv6=1 >/dev/null 2>&1
    ip -n "$ns" addr add "$addr/$prefix" dev "$ifname" || return 1
    ip -n "$ns" link set "$ifname" multicast on up || return 1
    ip -n "$ns" route add 224.0.0.0/4 dev "$ifname" 2>/dev/null
    # No checksum offload on the veth pair: the receiving kernel itself checks the IPv4 and UDP
    # checksums of every frame, injected ones included.
    if command -v ethtool >/dev/null 2>&1; then
      ip netns exec "$ns" ethtool -K "$ifname" rx off tx off >/dev/null 2>&1
    fi
  done
  if [ "$links" = 2 ]; then
    # A second path between the same namespaces: a more specific /24 inside the /16.
    ip link add "$app_if2" type veth peer name "$dev_if2" || return 1
    ip link set "$app_if2" netns "$app_ns" || return 1
    ip link set "$dev_if2" netns "$dev_ns" || return 1
    ip -n "$app_ns" addr add "$app_ip2/24" dev "$app_if2" || return 1
    ip -n "$dev_ns" addr add "$dev_ip2/24" dev "$dev_if2" || return 1
    ip -n "$app_ns" link set "$app_if2" multicast on up || return 1
    ip -n "$dev_ns" link set "$dev_if2" multicast on up || return 1
  fi
  return 0
}

if ! setup; then
  echo "segment: could not set up the namespaces" >&2
  exit 3
fi
app_mac=$(ip -n "$app_ns" -o link show "$app_if" | sed -n 's/.*link\/ether \([0-9a-f:]*\).*/\1/p')
dev_mac=$(ip -n "$dev_ns" -o link show "$dev_if" | sed -n 's/.*link\/ether \([0-9a-f:]*\).*/\1/p')
if [ "$links" = 2 ]; then
  app_mac2=$(ip -n "$app_ns" -o link show "$app_if2" | sed -n 's/.*link\/ether \([0-9a-f:]*\).*/\1/p')
  dev_mac2=$(ip -n "$dev_ns" -o link show "$dev_if2" | sed -n 's/.*link\/ether \([0-9a-f:]*\).*/\1/p')
fi
say "segment $tag: $app_ns/$app_if $app_ip <-> $dev_ns/$dev_if $dev_ip"

if [ "$use_devsim" = 1 ]; then
  devsim_log="$workdir/devsim.log"
  [ "$keep" = 1 ] && devsim_log="/tmp/ips-segment-$tag-devsim.log"
  ready="$workdir/devsim.ready"
  # The devsim arguments are one string split like a shell line, so quotes inside it work
  # (--models "12=DS-210 Door Station").
  eval "devsim_argv=($devsim_args)" || { echo "segment: bad --devsim arguments" >&2; exit 2; }
  ip netns exec "$dev_ns" "$devsim_bin" --interface "$dev_if" --ready-file "$ready" \
    "${devsim_argv[@]}" >"$devsim_log" 2>&1 &
  devsim_pid=$!
  echo "$devsim_pid" >"/run/ips-segment-$tag.devsim"
  for _ in $(seq 1 100); do
    [ -f "$ready" ] && break
    kill -0 "$devsim_pid" 2>/dev/null || break
    sleep 0.05
  done
  if [ ! -f "$ready" ]; then
    echo "segment: devsim did not start:" >&2
    tail -20 "$devsim_log" >&2
    exit 3
  fi
  say "devsim pid $devsim_pid, log $devsim_log"
fi

export IPS_SEGMENT_TAG=$tag IPS_SEGMENT_APP_NS=$app_ns IPS_SEGMENT_DEV_NS=$dev_ns
export IPS_SEGMENT_IF=$app_if IPS_SEGMENT_DEV_IF=$dev_if
export IPS_SEGMENT_APP_IP=$app_ip IPS_SEGMENT_DEV_IP=$dev_ip
export IPS_SEGMENT_APP_MAC=$app_mac IPS_SEGMENT_DEV_MAC=$dev_mac
export IPS_SEGMENT_PREFIX=$prefix
export IPS_SEGMENT_IF2=$app_if2 IPS_SEGMENT_APP_IP2=$app_ip2 IPS_SEGMENT_APP_MAC2=$app_mac2
export IPS_SEGMENT_DEV_IF2=$dev_if2 IPS_SEGMENT_DEV_IP2=$dev_ip2 IPS_SEGMENT_DEV_MAC2=$dev_mac2
export IPS_DEVSIM_PID=$devsim_pid IPS_DEVSIM_LOG=$devsim_log

if [ ${#command[@]} -eq 0 ]; then
  env | grep '^IPS_SEGMENT_\|^IPS_DEVSIM_' | sort
  if [ "$keep" = 1 ]; then exit 0; fi
  say "running; Ctrl-C removes the segment"
  while :; do sleep 1; done
fi

# In the background with the terminal's standard input, so that a signal to this script is
# handled at once (bash runs traps only between foreground commands).
ip netns exec "$app_ns" "${command[@]}" <&0 &
cmd_pid=$!
wait "$cmd_pid"
rc=$?
cmd_pid=""
exit $rc
