#!/usr/bin/env bash
# The demo: installs what is missing and builds (scripts/setup.sh), brings up a virtual segment
# (scripts/segment.sh: two network namespaces joined by a veth pair, removed on exit) with a
# simulated fleet of mixed devices, and runs the program on it: the window when a display is
# available, else the command-line scan. Nothing is sent on a real interface of this machine.
# Needs root for the namespaces.
#
#   scripts/demo.sh                 about 50 devices, a 6-second scan
#   IPS_DEMO_DEVICES=200 IPS_DEMO_SECONDS=8 scripts/demo.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/build/bin"
devices=${IPS_DEMO_DEVICES:-50}
seconds=${IPS_DEMO_SECONDS:-6}

# Inside the segment (the program's namespace): run the front ends one after the other.
cli_front_end() {
  echo "== ipscanner-cli scan on $IPS_SEGMENT_IF ($seconds s) =="
  "$bin/ipscanner-cli" scan --interface "$IPS_SEGMENT_IF" --seconds "$seconds"
}
have_display() {
  [ -n "${WAYLAND_DISPLAY:-}" ] && return 0
  [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1
}
# The window opens the adapter its settings name: the segment's veth. The settings file of the
# module folder is put back as it was when the window closes.
gui_front_end() {
  local ini="$bin/config/SystemSetting.ini" saved="" language="" rc=0
  if [ -f "$ini" ]; then
    saved=$(mktemp)
    cp -p "$ini" "$saved"
    language=$(sed -n 's/^[[:space:]]*[Ll][Aa][Nn][Gg][Uu][Aa][Gg][Ee][[:space:]]*=[[:space:]]*//p' "$ini" | head -n 1)
  fi
  mkdir -p "$(dirname "$ini")"
  printf '[LANGUAGE_SETTING]\r\nLanguage=%s\r\n[NET_CONN_SETTING]\r\nInterface=%s\r\nAdapterName=%s\r\nIP=%s\r\n' \
    "$language" "$IPS_SEGMENT_IF" "$IPS_SEGMENT_IF" "$IPS_SEGMENT_APP_IP" >"$ini"
  echo "== the window on $IPS_SEGMENT_IF: close it to end the demo =="
  "$bin/ipscanner" || rc=$?
  if [ -n "$saved" ]; then mv "$saved" "$ini"; else rm -f "$ini"; fi
  return $rc
}
run_front_ends() {
  if [ -x "$bin/ipscanner" ] && have_display; then
    gui_front_end
  else
    cli_front_end
  fi
}
if [ "${1:-}" = "--in-segment" ]; then
  run_front_ends
  exit $?
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "demo: run as root (it installs packages and creates network namespaces)" >&2
  exit 1
fi
"$root/scripts/setup.sh"
for exe in ipscanner-cli devsim; do
  [ -x "$bin/$exe" ] || { echo "demo: $bin/$exe was not built" >&2; exit 1; }
done

# A mixed fleet: both envelopes, some devices working over a second interface (work MAC
# differs), some without a model name (the catalog supplies it), some with static addresses.
fleet="--count $devices --envelope mixed --workmac-differ-share 0.2 --empty-model-share 0.2 --static-share 0.3 --seed 2"
echo "== a virtual segment with $devices simulated devices =="
IPS_DEVSIM="$bin/devsim" "$root/scripts/segment.sh" --devsim "$fleet" -- \
  env IPS_DEMO_SECONDS="$seconds" bash "$root/scripts/demo.sh" --in-segment
