#!/usr/bin/env bash
# The main window against simulated devices on a virtual segment: every device is listed with
# its IP, MAC, model, room number and firmware, sorted by IP; after Refresh the list holds only
# the devices that answer the fresh discovery, and they show up within about a second of their
# answers. The window runs offscreen from a private copy of the module folder with the GUI test
# driver loaded, which reads the list and clicks Refresh. Exit 77 when a segment cannot be made.
set -uo pipefail

if [ "${1:-}" = --inner ]; then
  # Runs inside the program's namespace (see scripts/segment.sh for the variables).
  work=$2 bin=$3
  . "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
  . "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
  gui_on_segment
  now() { date +%s.%N; }
  # Expected list: index, IP, MAC, model, room, firmware, sorted by IP numerically.
  expected() {
    jq -r "$jq_display_mac"'sort_by(.ip | split(".") | map(tonumber)) | to_entries[]
           | [(.key + 1 | tostring), .value.ip, (.value.mac | display_mac), .value.expectedModel, .value.deviceId, .value.firmware]
           | join("\t")' "$1"
  }
  show_list() { echo "--- list"; gui list list_device; }
  gui_cleanup() { kill "${sim2:-}" 2>/dev/null; }

  gui_segment_settings
  expected "$work/fleet1.json" >"$work/expected1.txt"
  [ "$(wc -l <"$work/expected1.txt")" -eq 20 ] || fail "fleet file has $(wc -l <"$work/expected1.txt") devices"

  XDG_RUNTIME_DIR=$work/run gui_start "$mod/ipscanner"
  gui_wait 10 visible list_device >/dev/null || fail "the main window shows no device list"
  gui_timeout=20 gui_wait_list list_device "$work/expected1.txt" ||
    { show_list; fail "the first fleet is not listed as expected"; }
  echo "ok: first fleet listed (20 devices)"

  # A different fleet replaces the first one; Refresh must drop every old row.
  kill "$IPS_DEVSIM_PID"
  ip netns exec "$IPS_SEGMENT_DEV_NS" "$bin/devsim" --interface "$IPS_SEGMENT_DEV_IF" --count 5 \
    --base-ip 10.213.2.100 --base-mac 02:1A:2B:00:20:01 --seed 5 --fleet-file "$work/fleet2.json" \
    --ready-file "$work/sim2.ready" >"$work/sim2.log" 2>&1 &
  sim2=$!
  wait_for 5 test -f "$work/sim2.ready" || fail "second simulator did not start"
  expected "$work/fleet2.json" >"$work/expected2.txt"

  gui click btn_refresh || fail "Refresh cannot be clicked"
  t1=$(now)   # the refresh runs now: the table is cleared and the discovery goes out
  gui_timeout=5 gui_wait_list list_device "$work/expected2.txt" ||
    { show_list; fail "after Refresh the list is not the second fleet"; }
  elapsed=$(echo "$(now) - $t1" | bc)
  echo "ok: second fleet listed $elapsed s after the refresh"
  # One refresh period (1 s) after the answers, plus scheduling slack.
  [ "$(echo "$elapsed < 2.0" | bc)" = 1 ] || fail "devices took $elapsed s to appear"

  kill "$gui_pid"
  wait "$gui_pid"
  rc=$?
  gui_pid=
  [ $rc -eq 0 ] || fail "the program exited $rc on SIGTERM"
  exit 0
fi

bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim
need_tools jq bc
. "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
need_gui_driver
gui=${IPS_E2E_GUI:-$bin/ipscanner}
[ -x "$gui" ] || skip "$gui not built"
make_work ips-e2e-mainwnd

# A private module folder: its own settings file, download folder and instance lock.
mkdir -p "$work/mod/Download/Rom" "$work/run"
chmod 700 "$work/run"
cp "$gui" "$work/mod/ipscanner"
for dir in skin Language config Tools Tools-Install; do
  [ -d "$bin/$dir" ] && cp -r "$bin/$dir" "$work/mod/"
done
rm -f "$work/mod/config/SystemSetting.ini"

IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 20 --envelope mixed --mac-forms mixed --empty-model-share 0.3 --seed 3 --fleet-file $work/fleet1.json" \
  -- bash "$0" --inner "$work" "$bin"
rc=$?
[ $rc -eq 0 ] && echo "PASS: the main window lists the simulated devices and refreshes them"
exit $rc
