#!/usr/bin/env bash
# The device detail view of the real window against devsim on a virtual segment: a device
# opened from the list shows its values within about 3 s; a wrong password is refused; the
# device is switched to a static address with a new IP (devsim's state shows it); the refreshed
# row then opens the view on the device at its new address, where reboot (ending in the device's
# boot-up message) and factory reset reach it. The window runs offscreen (or on the display of
# IPS_E2E_SHOTS runs) with the GUI test driver; a log viewer in the namespace collects the log
# lines. IPS_E2E_SHOTS=<folder>: also save screenshots there. Exit 77 when it cannot run here.
set -uo pipefail

if [ "${1:-}" = --inner ]; then
  work=$2 bin=$3 fail=0
  . "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
  . "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
  gui_on_segment
  gui_cleanup() { kill "${logview_pid:-}" 2>/dev/null; }
  shot() { [ -n "${IPS_E2E_SHOTS:-}" ] && gui screenshot "$IPS_E2E_SHOTS/$1.png" >/dev/null; return 0; }
  state() { jq -e --arg m "$mac" ".[] | select(.mac == \$m) | $1" "$work/state.json" >/dev/null; }
  # The list shows every MAC in one spelling.
  row_of() { gui list list_device | awk -F'\t' -v m="$shown_mac" '$3 == m { print NR - 1; exit }'; }
  row_ip_is() { gui list list_device | awk -F'\t' -v m="$shown_mac" -v ip="$1" '$3 == m && $2 == ip { f = 1 } END { exit !f }'; }
  no_msgbox() { ! gui msgbox >/dev/null 2>&1; }
  answer() {  # text button: waits for the box, answers it
    gui_wait_msgbox "$1" || { gui msgbox; fail "no message box \"$1\""; }
    gui msgbox-answer "$2" >/dev/null
    wait_for 5 no_msgbox
  }

  "$bin/logview" --port 106 --timeout 600 >"$work/log.txt" 2>"$work/logview.err" &
  logview_pid=$!
  wait_for 5 grep -q listening "$work/logview.err" || fail "log viewer did not start"
  gui_segment_settings
  # A device that works over its second interface (work MAC differs): requests go to its work
  # MAC and use the WLAN keys.
  mac=$(jq -r '[.[] | select(.workMacBytes != .macBytes)][0].mac' "$work/fleet.json")
  shown_mac=$(jq -rn --arg m "$mac" "$jq_display_mac"'$m | display_mac')
  ip=$(jq -r --arg m "$mac" '.[] | select(.mac == $m) | .ip' "$work/fleet.json")
  [ -n "$mac" ] && [ "$mac" != null ] || fail "fleet has no device with a differing work MAC"

  XDG_RUNTIME_DIR=$work/run gui_start "$mod/ipscanner"
  gui_wait 10 visible list_device >/dev/null || fail "no device list"
  listed() { [ -n "$(row_of)" ]; }
  wait_for 10 listed || { gui list list_device; fail "device $mac not listed"; }

  t0=$(date +%s.%N)
  gui row-click list_device "$(row_of)" >/dev/null
  gui_timeout=6 gui_wait_text edit_ip "$ip" || fail "the view shows no IP (\"$(gui text edit_ip)\")"
  elapsed=$(echo "$(date +%s.%N) - $t0" | bc)
  check "values appear within about 3 s ($elapsed s)" [ "$(echo "$elapsed < 3.5" | bc)" = 1 ]
  check "DHCP device shows DHCP checked" [ "$(gui checked checkbox_dhcp)" = 1 ]
  check "address fields disabled with DHCP" [ "$(gui enabled edit_gateway)" = 0 ]
  gui_wait_text edit_subnet_mask 255.255.0.0 || fail "no subnet mask"
  shot view_open

  gui set-text edit_user_name admin >/dev/null
  gui set-text edit_password wrong-password >/dev/null
  gui click btn_update >/dev/null
  answer "User or password incorrect." btn_ok
  echo "ok: a wrong password is refused"

  gui set-text edit_password "$(cat "$work/password")" >/dev/null
  gui check checkbox_dhcp 0 >/dev/null
  gui_wait 5 enabled edit_ip | grep -qx 1 || fail "address fields stay disabled"
  gui set-text edit_ip 10.213.7.7 >/dev/null
  gui set-text edit_gateway 10.213.0.254 >/dev/null
  gui set-text edit_primary_dns 10.213.0.253 >/dev/null
  gui click btn_update >/dev/null
  gui_wait_msgbox "Are you sure you want to update this device?" || fail "no confirmation"
  shot update_confirmation
  gui msgbox-answer btn_yes >/dev/null
  wait_for 10 gui_note_has "Setting device configurations succeeded." || fail "no success note"
  check "the view hides after the update" [ "$(gui visible layout_device_info)" = 0 ]
  check "devsim took the static address" state '.dhcp == false and .ip == "10.213.7.7"'

  # The list shows the new address after the next discovery; its row opens the device there.
  gui_timeout=12 wait_for 12 row_ip_is 10.213.7.7 || { gui list list_device; fail "row keeps the old IP"; }
  gui row-click list_device "$(row_of)" >/dev/null
  # devsim answers only requests sent to its present address: the address the device reports
  # back proves the view asked it there.
  reads_new_address() {
    [ "$(gui prop edit_ip userData 2>/dev/null)" = 10.213.7.7 ] && gui_text_is edit_ip 10.213.7.7 &&
      gui_text_is edit_gateway 10.213.0.254
  }
  check "the refreshed row reads the device at its new address" wait_for 6 reads_new_address ||
    fail "the view does not read the device at its new address (reported IP \"$(gui prop edit_ip userData)\", shown \"$(gui text edit_ip)\", gateway \"$(gui text edit_gateway)\")"
  check "static device shows DHCP unchecked" [ "$(gui checked checkbox_dhcp)" = 0 ]
  shot view_moved

  gui click btn_reboot >/dev/null
  answer "Are you sure you want to reboot this device?" btn_yes
  wait_for 10 gui_note_has "The device is restarting." || fail "no restarting note"
  wait_for 5 state '.bootCount == 1' || fail "devsim was not rebooted"
  wait_for 5 grep -q "Device BootUp OK!" "$work/log.txt" || fail "no boot-up message reached the program"
  echo "ok: reboot reached devsim and ended in its boot-up message"

  gui click btn_reset >/dev/null
  answer "Are you sure you want to reset this device?" btn_yes
  wait_for 10 gui_note_has "restarting with its factory settings" || fail "no reset note"
  wait_for 5 state '.bootCount == 2 and .dhcp == true' || fail "devsim was not reset"
  echo "ok: reset reached devsim (back on DHCP)"
  check "the password is in no log line" bash -c "! grep -qF -- '$(cat "$work/password")' '$work/log.txt'"

  gui_stop || fail "the program exited $?"
  exit $fail
fi

bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim logview
need_tools jq bc
. "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
need_gui_driver
[ -x "$bin/ipscanner" ] || skip "$bin/ipscanner not built"
make_work ips-e2e-devview
private_module "$work/mod"
mkdir -m 700 "$work/run"
echo 'Pw-view-e2e-9' >"$work/password"

IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 4 --seed 21 --static-share 0 --workmac-differ-share 0.5 --reboot-ms 300 --password $(cat "$work/password") --fleet-file $work/fleet.json --state-file $work/state.json" \
  -- bash "$0" --inner "$work" "$bin"
rc=$?
[ $rc -eq 0 ] && echo "PASS: the device view reads, changes, reboots and resets a simulated device"
exit $rc
