#!/usr/bin/env bash
# "Assign addresses…" in the real window, driven through the GUI test driver, on a virtual
# segment with 24 DHCP devices, 6 of them on one factory address and 3 in another subnet, and a
# foreign host (a kernel address in the device namespace) inside the range. "Fix…" on the badge of
# a device outside the subnet moves that device into it. The dialog opens with
# the adapter's subnet filled in; a gateway outside it shows the conflict on every row and Apply
# stays off; with the right gateway the preview is clean and passes over the adapter's and the
# foreign host's addresses; Apply ends every row "Success", the counts agree, and devsim's state
# has every device static on its planned address. Exit 77 when a segment cannot be made or the
# driver is not built.
#
# IPS_SHOT_LANGUAGE=Deutsch (a catalog name) runs it in that language, and IPS_SHOT_DIR=DIR saves
# screenshots of the main window, the preview with the conflict and the finished run there.
set -uo pipefail

if [ "${1:-}" = --inner ]; then
  work=$2 bin=$3
  . "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
  . "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
  gui_on_segment
  language=${IPS_SHOT_LANGUAGE:-English}
  gui_segment_settings "$language"
  # The texts the rows show, in the catalog's language.
  tr_text() { grep -m1 "^$1=" "$mod/Language/$language.txt" | cut -d= -f2-; }
  success=$(tr_text Success)
  outside=$(tr_text "gateway outside the planned subnet")
  shot() { [ -n "${IPS_SHOT_DIR:-}" ] && gui screenshot "$IPS_SHOT_DIR/$1" >/dev/null; }
  # The foreign host: the device namespace's kernel answers ARP for this address.
  ip netns exec "$IPS_SEGMENT_DEV_NS" ip addr add 10.213.0.9/32 dev "$IPS_SEGMENT_DEV_IF"

  XDG_RUNTIME_DIR=$work/run gui_start "$mod/ipscanner"
  gui_timeout=20 wait_for 20 eval '[ "$(gui list list_device 2>/dev/null | wc -l)" -eq 24 ]' ||
    fail "the main list does not show the 24 devices"
  shot i20ui-main-"$language".png

  # "Fix…" on the badge of a device outside the subnet moves that one device into it.
  gui list list_device >"$work/main.txt"
  row=$(grep -n $'\t172\.16\.0\.16\t' "$work/main.txt" | head -1 | cut -d: -f1)
  [ -n "$row" ] || fail "the device outside the subnet is not listed"
  gui row-button list_device $((row - 1)) badge || fail "no badge on the device outside the subnet"
  gui_wait_window menu_fix || fail "the badge offers no menu"
  shot i20ui-fix-badge-"$language".png
  gui key menu_fix Down && gui key menu_fix Return
  gui_wait_window AssignAddressDlg || fail "Fix… opens no dialog"
  check "Fix… hands in that one device" eval '[ "$(gui list table_plan | cut -f3)" = 172.16.0.16 ]'
  gui set-text edit_start 10.213.0.200
  gui set-text edit_gateway 10.213.0.5
  gui list table_plan | cut -f1-3 | sed 's/$/\t10.213.0.200\t/' >"$work/fix.txt"
  gui click btn_preview
  gui_timeout=15 gui_wait_list AssignAddressDlg/table_plan "$work/fix.txt" ||
    fail "the fix is not planned on the start address"
  gui set-text edit_user admin
  gui set-text edit_password admin
  gui click btn_apply
  fixed_mac=$(gui list table_plan | cut -f2)
  wait_for 30 eval '[ "$(gui list table_plan | cut -f5)" = "$success" ]' || fail "the fix does not end Success"
  gui click btn_cancel
  wait_for 5 eval '! gui_window_open AssignAddressDlg' || fail "the fix dialog does not close"
  # The list writes MACs one way (upper case, colons); compare them without their spelling.
  fixed_mac=$(printf '%s' "$fixed_mac" | tr -d ':-' | tr a-f A-F)
  wait_for 15 eval 'gui list list_device | tr -d ":-" | tr a-f A-F | grep -q "10\.213\.0\.200.*$fixed_mac"' ||
    fail "the fixed device is not listed at its new address"
  echo "ok: Fix… moved the device outside the subnet into it"
  gui click btn_assign_addresses || fail "no assign button"
  gui_wait_window AssignAddressDlg || fail "no assign dialog"
  check "the start is the adapter subnet's first address" gui_text_is edit_start 10.213.0.1
  check "the mask is the adapter's" gui_text_is edit_mask 255.255.0.0
  check "the dialog lists the 24 devices" eval '[ "$(gui list table_plan | wc -l)" -eq 24 ]'

  gui combo-select combo_order room || fail "no room order"
  gui set-text edit_gateway 10.214.0.1 || fail "no gateway field"
  gui click btn_preview || fail "no preview"
  all_rows_say() {
    gui list AssignAddressDlg/table_plan >"$work/rows.txt" 2>/dev/null &&
      [ "$(cut -f5 "$work/rows.txt" | grep -c "^$1$")" -eq 24 ]
  }
  wait_for 15 all_rows_say "$outside" || { head -3 "$work/rows.txt"; fail "the gateway outside the subnet is not named on every row"; }
  check "Apply is off while conflicts remain" eval '[ "$(gui enabled btn_apply)" = 0 ]'
  shot i20ui-preview-conflict-"$language".png

  gui set-text edit_gateway 10.213.0.5
  gui click btn_preview
  clean() {
    gui list AssignAddressDlg/table_plan >"$work/plan.txt" 2>/dev/null &&
      [ "$(cut -f4 "$work/plan.txt" | grep -c .)" -eq 24 ] && [ -z "$(cut -f5 "$work/plan.txt" | tr -d '\n')" ]
  }
  wait_for 15 clean || { head -3 "$work/plan.txt"; fail "the plan with the right gateway is not clean"; }
  check "no device is planned on the adapter's, the gateway's or the foreign host's address" \
    eval "! cut -f4 '$work/plan.txt' | grep -qx -e '$IPS_SEGMENT_APP_IP' -e 10.213.0.5 -e 10.213.0.9"
  check "the planned addresses are unique" eval '[ "$(cut -f4 "$work/plan.txt" | sort -u | wc -l)" -eq 24 ]'
  check "rows in room order" eval 'cut -f1 "$work/plan.txt" | sort -c -V'

  gui set-text edit_user admin
  gui set-text edit_password admin
  gui click btn_apply || fail "Apply refused"
  done_all() { all_rows_say "$success"; }
  wait_for 90 done_all || { grep -v "	$success$" "$work/rows.txt" | head -5; fail "not every row ends Success"; }
  check "counts: Success" gui_text_is lab_success_count "$(tr_text 'Success: %d' | sed 's/%d/24/')"
  check "counts: Running" gui_text_is lab_running_count "$(tr_text 'Running: %d' | sed 's/%d/0/')"
  shot i20ui-progress-done-"$language".png
  gui click btn_cancel
  wait_for 5 eval '! gui_window_open AssignAddressDlg' || fail "Close does not close a finished run"
  gui_stop
  check "the program ends with exit 0" test $? -eq 0

  # devsim's state: every device static on the address the dialog planned for it.
  cut -f2,4 "$work/plan.txt" | tr 'a-f' 'A-F' | tr -d ':-' | sort >"$work/planned.txt"
  on_plan() {
    jq -r '.[] | select(.dhcp == false) | [.mac, .staticIp] | @tsv' "$work/state.json" |
      tr 'a-f' 'A-F' | tr -d ':-' | sort >"$work/static.txt" && cmp -s "$work/planned.txt" "$work/static.txt"
  }
  check "devsim: every device static on its planned address" wait_for 5 on_plan
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
make_work ips-e2e-assign-gui
private_module "$work/mod"
mkdir -m 700 "$work/run"

factory=""
for i in $(seq 0 5); do factory="$factory --device-ip $i=192.168.1.100"; done
for i in $(seq 6 8); do factory="$factory --device-ip $i=172.16.0.$((i + 10))"; done
IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 24 --static-share 0 --seed 21 $factory --fleet-file $work/fleet.json --state-file $work/state.json" \
  -- bash "$0" --inner "$work" "$bin"
rc=$?
[ $rc -eq 0 ] && echo "PASS: assign addresses through the window"
exit $rc
