#!/usr/bin/env bash
# System settings through the real program on a virtual segment with two links, each with its
# own simulated fleet (link 1: 6 devices, link 2: 3 devices):
# - a first start without a saved adapter opens the settings on the network tab, and nothing
#   goes out on either link while the installer chooses; SIGTERM meanwhile ends the program;
# - choosing link 2 and confirming writes the three keys; the program restarts on its own: the
#   old process exits 1, the new one takes the instance lock and talks on link 2 only, and the
#   window lists the second fleet only;
# - switching to German changes the main window's texts at once, and after a restart too.
# Usage: settings_adapter_and_language.sh <module folder> <source folder>
set -uo pipefail
bin=$(realpath "${1:?module folder}")
src=$(realpath "${2:?source folder}")
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
. "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
need_gui_driver
need_built ipscanner devsim
need_tools tcpdump jq flock

if [ -z "${IPS_SEGMENT_IF:-}" ]; then
  need_netns "needs root for network namespaces"
  "$src/scripts/segment.sh" --quiet --links 2 --devsim "--count 6 --seed 11" -- bash "$0" "$bin" "$src"
  exit $?
fi
[ -n "${IPS_SEGMENT_IF2:-}" ] || fail "segment without a second link"

devsim=$bin/devsim
app_work
ini=$bin/config/SystemSetting.ini
captures=()
sim2=""
at_exit() {
  local p
  for p in $(our_instances) ${sim2:+"$sim2"} "${captures[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
}
# capture <name> <device-side interface>: device frames arriving on that link, from now on.
capture() {
  ip netns exec "$IPS_SEGMENT_DEV_NS" tcpdump -i "$2" --immediate-mode -U -w "$work/$1.pcap" \
    udp port 8500 2>"$work/$1.tcpdump.err" &
  captures+=($!)
  wait_for 5 grep -q "listening on" "$work/$1.tcpdump.err" || fail "tcpdump on $2 did not start"
}
stop_captures() {
  local p
  for p in "${captures[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  captures=()
}
frames() { tcpdump -r "$work/$1.pcap" 2>/dev/null | wc -l; }
discoveries() { tcpdump -r "$work/$1.pcap" dst host 238.8.8.1 2>/dev/null | wc -l; }
setting() { sed -n "s/^$1=//p" "$ini" | tr -d '\r'; }
# Rows as the main list shows them (index, IP, MAC, model, room, firmware), sorted by IP.
expected_rows() {
  jq -r "$jq_display_mac"'sort_by(.ip | split(".") | map(tonumber)) | to_entries[]
         | [(.key + 1 | tostring), .value.ip, (.value.mac | display_mac), .value.expectedModel, .value.deviceId, .value.firmware]
         | join("\t")' "$1"
}

# The second fleet, on link 2, in its own address range.
ip netns exec "$IPS_SEGMENT_DEV_NS" "$devsim" --interface "$IPS_SEGMENT_DEV_IF2" --count 3 --seed 12 \
  --base-ip 10.213.200.10 --base-mac 02:1A:2B:00:C8:01 --fleet-file "$work/fleet2.json" \
  --ready-file "$work/sim2.ready" >"$work/sim2.log" 2>&1 &
sim2=$!
wait_for 5 test -f "$work/sim2.ready" || fail "second simulator did not start"
expected_rows "$work/fleet2.json" >"$work/expected2.txt"
[ "$(wc -l <"$work/expected2.txt")" -eq 3 ] || fail "second fleet file has $(wc -l <"$work/expected2.txt") devices"

# 0. SIGTERM while the first-start settings are open ends the program the normal way, and sends
#    nothing on any link on its way out (no adapter was ever chosen).
capture term1 "$IPS_SEGMENT_DEV_IF"
capture term2 "$IPS_SEGMENT_DEV_IF2"
gui_start "$exe"
gui_wait_window SystemSettingDlg || fail "first start did not open the system settings"
kill -TERM "$gui_pid"
wait_for 10 gui_gone || fail "SIGTERM did not end the program during the adapter choice"
wait "$gui_pid"
rc=$?
gui_pid=""
sleep 1  # a frame sent on the way out would be in the captures by now
stop_captures
[ $rc -eq 0 ] || fail "SIGTERM during the adapter choice: exit $rc, expected 0"
[ ! -e "$ini" ] || fail "closing without a choice wrote settings"
[ "$(frames term1)" -eq 0 ] && [ "$(frames term2)" -eq 0 ] ||
  fail "frames went out after SIGTERM in the adapter choice (link 1: $(frames term1), link 2: $(frames term2))"
echo "ok: SIGTERM during the adapter choice ends the program with 0 and sends nothing"

# 1. First start: two adapters, nothing saved. The settings open on the network tab before the
#    main window, and no device frame leaves while they are open.
capture link1 "$IPS_SEGMENT_DEV_IF"
capture link2 "$IPS_SEGMENT_DEV_IF2"
gui_start "$exe"
old=$gui_pid
gui_wait_window SystemSettingDlg || fail "first start did not open the system settings"
[ "$(gui checked opt_network)" = 1 ] || fail "the network option is not selected"
[ "$(gui prop tab_system_view currentIndex)" = 1 ] || fail "the network page is not shown"
gui list combo_card >"$work/cards.txt"
grep -q "^All" "$work/cards.txt" || fail "no \"All\" entry: $(cat "$work/cards.txt")"
grep -qF "$IPS_SEGMENT_IF2 (virtual)" "$work/cards.txt" || fail "link 2 not listed as \"$IPS_SEGMENT_IF2 (virtual)\": $(cat "$work/cards.txt")"
! gui_window_open MainWnd || fail "the main window is up before the adapter was chosen"
echo "ok: first start asks for the adapter on the network tab"

# 2. Choose link 2 and confirm: the keys are written and the program restarts on its own. The
#    captures of the first start go on all the time the settings are open: until the restart
#    question, nothing may leave on either link.
gui combo-select combo_card "$IPS_SEGMENT_IF2" >/dev/null || fail "cannot choose $IPS_SEGMENT_IF2"
gui_wait_text lab_ip "$IPS_SEGMENT_APP_IP2" || fail "the address label does not show link 2's address"
gui click btn_ok >/dev/null || fail "cannot press OK"
gui_wait_msgbox "restart automatically" || fail "no restart question"
stop_captures
[ "$(frames link1)" -eq 0 ] && [ "$(frames link2)" -eq 0 ] ||
  fail "frames went out while the adapter was being chosen (link 1: $(frames link1), link 2: $(frames link2))"
echo "ok: nothing was sent while the settings were open"
capture after1 "$IPS_SEGMENT_DEV_IF"
capture after2 "$IPS_SEGMENT_DEV_IF2"
gui msgbox-answer btn_ok >/dev/null
wait_for 10 bash -c "! kill -0 $old 2>/dev/null" || fail "the old instance did not exit"
wait "$old"
rc=$?
gui_pid=""
[ $rc -eq 1 ] || fail "the old instance exited $rc, expected 1"
[ "$(setting Interface)" = "$IPS_SEGMENT_IF2" ] || fail "Interface=$(setting Interface)"
[ "$(setting AdapterName)" = "$IPS_SEGMENT_IF2" ] || fail "AdapterName=$(setting AdapterName)"
[ "$(setting IP)" = "$IPS_SEGMENT_APP_IP2" ] || fail "IP=$(setting IP)"
wait_for 10 test -S "$run/instance.sock" || fail "no successor took over"
new=$(our_instances)
[ -n "$new" ] && [ "$new" != "$old" ] || fail "successor not found"
! flock -n "$run/instance.lock" true || fail "the successor does not hold the instance lock"
# The successor's first discovery and one periodic one (5 s later).
wait_for 15 eval '[ "$(discoveries after2)" -ge 2 ]' || fail "the successor sent $(discoveries after2) discovery frame(s) on link 2"
stop_captures
[ "$(frames after1)" -eq 0 ] || fail "the successor sent $(frames after1) frame(s) on link 1"
[ "$(frames after2)" -gt 0 ] || fail "the successor sent nothing on link 2"
echo "ok: the keys are written, the old instance exited 1 and the successor talks on link 2 only"

# The successor runs without the driver (it leaves it out of the environment of the programs it
# starts): end it and start again on the saved settings, with the driver, to read the list.
kill -TERM $new
wait_for 10 bash -c "! kill -0 $new 2>/dev/null" || fail "successor did not end on SIGTERM"
gui_start "$exe"
gui_wait_window MainWnd || fail "no main window on the saved adapter"
gui_timeout=20 gui_wait_list list_device "$work/expected2.txt" ||
  { gui list list_device; fail "the window does not list exactly the second fleet"; }
echo "ok: with link 2 chosen the window lists the second fleet only"

# 3. German from the language tab: the main window changes at once, and after a restart.
[ "$(gui text btn_search)" = "Search" ] || fail "search button reads \"$(gui text btn_search)\" before the switch"
gui click btn_system_setting >/dev/null
gui_wait_window SystemSettingDlg || fail "the settings button opened nothing"
[ "$(gui checked opt_language)" = 1 ] || fail "the settings did not open on the language tab"
gui combo-select combo_language Deutsch >/dev/null || fail "cannot choose Deutsch"
gui click btn_ok >/dev/null
gui_wait_msgbox "change the language" || fail "no language question"
gui msgbox-answer btn_yes >/dev/null
gui_wait_text btn_search "Suchen" || fail "the search button did not switch to German"
gui_wait_text lab_device_count "Geräte online: 3" || fail "device count reads \"$(gui text lab_device_count)\""
[ "$(sed -n 's/^Language=//p' "$ini" | tr -d '\r')" = Deutsch ] || fail "Language not saved"
gui_stop || fail "the program exited $? on quit"
gui_start "$exe"
gui_wait_window MainWnd || fail "no main window after the language change"
gui_wait_text btn_search "Suchen" || fail "German did not survive the restart"
gui_stop || fail "the program exited $? on quit"
echo "ok: German at once and after a restart"
exit 0
