#!/usr/bin/env bash
# The batch static IP dialogs in the real window, driven through the GUI test driver, on a
# virtual segment with 200 DHCP devices of which 20 ignore configuration requests: the selection
# lists all 200 ticked in IP order, OK opens the progress, 180 rows end "Success" and 20
# "Failed" within the run's timing (4.2 s of waiting, 16 polls), the counts agree, and devsim's
# state shows the 180 static on their old addresses and settings. Exit 77 when a segment cannot
# be made or the driver is not built.
# With IPS_E2E_GUI_STATIC_LOSS=P (gui_static_ip_lossy.sh) devsim loses a share P of the frames in
# each direction and no device is muted: the run's resends must make all 200 "Success" (at least
# 99 % when P is not 0.05).
set -uo pipefail

if [ "${1:-}" = --inner ]; then
  work=$2 bin=$3 muted=$4 loss=$5
  total=200 succeeded=$((200 - muted))
  . "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
  . "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
  gui_on_segment
  gui_segment_settings
  # What the selection shows: every device ticked, in IP order.
  # The window writes every MAC one way: upper case with colons.
  jq -r "$jq_display_mac"'sort_by(.ip | split(".") | map(tonumber))[]
         | ["1", .ip, (.mac | display_mac), .expectedModel] | join("\t")' \
    "$work/fleet.json" >"$work/selection.txt"

  XDG_RUNTIME_DIR=$work/run gui_start "$mod/ipscanner"
  gui_timeout=20 wait_for 30 eval '[ "$(gui list list_device 2>/dev/null | wc -l)" -eq 200 ]' ||
    fail "the main list does not show the 200 devices"
  gui click btn_static_ip || fail "no static IP button"
  gui_wait_window SetStaticIPDlg || fail "no selection dialog"
  gui_timeout=5 gui_wait_list SetStaticIPDlg/list_device "$work/selection.txt" ||
    { gui list SetStaticIPDlg/list_device | head -5; fail "the selection does not list the 200 devices ticked in IP order"; }
  echo "ok: the selection lists all 200 devices, ticked, in IP order"
  check "the selection counts the devices" gui_text_is SetStaticIPDlg/lab_device_count "Devices: 200"
  check "select-all is ticked" eval '[ "$(gui checked SetStaticIPDlg/checkbox_all)" = 1 ]'
  gui screenshot "$work/selection.png" >/dev/null

  gui click SetStaticIPDlg/btn_ok || fail "OK refused"
  start=$(date +%s%N)
  gui_wait_window SetStaticIPStatusDlg || fail "no progress dialog"
  gui screenshot "$work/progress-start.png" >/dev/null
  check "the progress lists the 200 chosen devices" \
    eval '[ "$(gui list SetStaticIPStatusDlg/list_device | wc -l)" -eq 200 ]'
  # The healthy devices succeed after the wait ticks (4.2 s, one device never answers) and a poll.
  wait_for 15 eval 'gui list SetStaticIPStatusDlg/list_device | grep -q ^Success' &&
    gui screenshot "$work/progress-running.png" >/dev/null
  # Finished: all 200 rows read back, none of them still configuring.
  progress_done() {
    gui list SetStaticIPStatusDlg/list_device >"$work/progress.txt" 2>/dev/null &&
      [ "$(wc -l <"$work/progress.txt")" -eq 200 ] && ! grep -q ^Configuring "$work/progress.txt"
  }
  wait_for 40 progress_done || fail "rows still configuring after 40 s"
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  echo "progress finished after $ms ms"
  check "finished within the run's timing (21.2 s)" [ "$ms" -lt 24000 ]
  gui screenshot "$work/progress-done.png" >/dev/null
  ok=$(grep -c $'^Success\t' "$work/progress.txt")
  if [ -n "$loss" ] && [ "$loss" != 0.05 ]; then
    echo "loss $loss: $ok of 200 rows Success"
    check "at least 99 % of the rows Success" [ $((ok * 100)) -ge $((total * 99)) ]
    exit $fail
  fi
  check "$succeeded rows Success" [ "$ok" -eq "$succeeded" ]
  check "$muted rows Failed, with no answer before configure" \
    [ "$(grep -c $'^Failed\t.*\tno answer before configure$' "$work/progress.txt")" -eq "$muted" ]
  # The window writes MACs one way (upper case, colons); compare them without their spelling.
  jq -r '.[] | select(.muteConfig) | .mac' "$work/fleet.json" | tr -d ':-' | tr a-f A-F |
    sort >"$work/muted.txt"
  grep $'^Failed\t' "$work/progress.txt" | cut -f3 | tr -d ':-' | tr a-f A-F | sort >"$work/failed.txt"
  check "the failed rows are the muted devices" cmp -s "$work/muted.txt" "$work/failed.txt"
  check "counts: Success" gui_text_is SetStaticIPStatusDlg/lab_success_count "Success: $succeeded"
  check "counts: Failed" gui_text_is SetStaticIPStatusDlg/lab_failed_count "Failed: $muted"
  check "counts: Configuring" gui_text_is SetStaticIPStatusDlg/lab_configuring_count "Configuring: 0"

  gui click SetStaticIPStatusDlg/btn_ok || fail "OK refused"
  wait_for 5 eval '! gui_window_open SetStaticIPStatusDlg' || fail "OK does not close a finished run"
  check "the main window is given back" eval '[ "$(gui enabled MainWnd)" = 1 ]'
  gui_stop
  check "the program ends with exit 0" test $? -eq 0

  # devsim's state: the healthy devices static on the address and settings they had, the muted
  # ones untouched.
  jq -S '[.[] | select(.muteConfig | not) | {mac, ip, gateway, netmask, primaryDns}] | sort_by(.mac)' \
    "$work/fleet.json" >"$work/before.json"
  static_now() {
    jq -S '[.[] | select(.muteConfig | not) | select(.dhcp == false) |
            {mac, ip: .staticIp, gateway, netmask, primaryDns}] | sort_by(.mac)' \
      "$work/state.json" >"$work/after.json" && cmp -s "$work/before.json" "$work/after.json"
  }
  check "devsim: the $succeeded are static on their old addresses and settings" wait_for 5 static_now
  check "devsim: the $muted muted devices still use DHCP" \
    jq -e --argjson n "$muted" '[.[] | select(.muteConfig) | select(.dhcp)] | length == $n' "$work/state.json"
  exit $fail
fi

bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
. "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner
need_tools jq
need_gui_driver
make_work ips-e2e-static-gui
private_module "$work/mod"
mkdir -m 700 "$work/run"

loss=${IPS_E2E_GUI_STATIC_LOSS:-}
faults="--mute-config 20" muted=20
[ -n "$loss" ] && faults="--loss $loss,21" muted=0
# Upper-case MAC texts (see cli_static.sh); no model left empty, so the expected rows are simple.
IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 200 --static-share 0 --empty-model-share 0 --mac-forms upper $faults --seed 12 --fleet-file $work/fleet.json --state-file $work/state.json" \
  -- bash "$0" --inner "$work" "$bin" "$muted" "$loss"
rc=$?
[ $rc -eq 0 ] && echo "PASS: batch static IP through the window${loss:+ (loss $loss)}"
exit $rc
