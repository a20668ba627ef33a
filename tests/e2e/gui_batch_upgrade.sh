#!/usr/bin/env bash
# The firmware upgrade of a selection in the real window, on a virtual segment of 40 devices:
# 30 rows are selected with Shift and Ctrl clicks, the context menu's "Upgrade firmware..."
# opens the batch window with an image. Its preview lists the 3 devices of another model family
# as incompatible and leaves them out; the run (4 at a time) ends with 25 completed and the 2
# devices that keep their firmware failed; Retry failed runs those 2 again. nginx's access log
# shows 25 + 2 x 2 full downloads, and the simulator that no incompatible or unselected device
# was touched. The results export as CSV, and after the run no device is "new" in the
# list. Then three other rows are rebooted from the menu with one credential.
# IPS_E2E_SHOTS=<folder> copies the screenshots there (prefix IPS_E2E_SHOT_PREFIX);
# IPS_E2E_LANG=<catalog> runs in that language (the checks of English texts are then left out).
# Exit 77 when a segment cannot be made or the driver is not built.
set -uo pipefail

if [ "${1:-}" = --inner ]; then
  work=$2 bin=$3
  . "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
  . "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
  gui_on_segment
  image=$work/images/105.40.1.1.rom
  lang=${IPS_E2E_LANG:-English}
  english() { [ "$lang" = English ]; }
  gui_segment_settings "$lang"
  # On a real display (Xvfb) the whole screen, as the installer sees it; else the windows.
  shot() {
    if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
      sleep 0.5 && import -window root "$work/$1.png" || return 1
    else
      gui screenshot "$work/$1.png" >/dev/null || return 1
    fi
    [ -n "${IPS_E2E_SHOTS:-}" ] && cp "$work/$1.png" "$IPS_E2E_SHOTS/${IPS_E2E_SHOT_PREFIX:-}$1.png"
    return 0
  }
  numbers() { gui text "$1" | grep -o '[0-9]\+' | head -"$2" | tr '\n' ' '; }
  for _ in $(seq 1 100); do [ -s "$work/fleet.json" ] && break; sleep 0.05; done
  ip_of() { jq -r ".[$1].ip" "$work/fleet.json"; }

  XDG_RUNTIME_DIR=$work/run gui_start "$mod/ipscanner"
  wait_for 30 eval '[ "$(gui list list_device 2>/dev/null | wc -l)" = 40 ]' ||
    { gui list list_device | wc -l; fail "the 40 devices are not listed"; }
  # Rows follow the IP order, which is the fleet's order.
  check "row 7 is device 7" eval '[ "$(gui list list_device | sed -n 8p | cut -f2)" = "$(ip_of 7)" ]'

  # Rows 0-30 with Shift, then row 15 out again with Ctrl: 30 devices.
  gui row-click list_device 0 && gui row-click list_device 30 shift &&
    gui row-click list_device 15 ctrl || fail "the rows refuse the clicks"
  check "the count beside the device count says 30" \
    eval '[ "$(numbers lab_selection_count 1)" = "30 " ]'
  english && check "in words" gui_text_is lab_selection_count "30 selected"
  shot selection

  gui row-click list_device 2 right || fail "no right click"
  wait_for 5 gui_quiet menu || fail "no context menu"
  check "the menu offers the five actions" \
    eval '[ "$(gui menu | cut -f1 | tr "\n" " ")" = "action_upgrade action_reboot action_static_ip action_copy_rows action_export " ]'
  gui menu-choose action_upgrade || fail "Upgrade firmware... refused"
  gui_wait_window QFileDialog || fail "no file dialog"
  gui file-dialog "$image" || fail "the file dialog refused the image"
  gui_timeout=30 gui_wait_window CBatchUpgradeDlg || fail "no batch upgrade window"

  # The preview: per model, the incompatible three, parallel 4.
  incompatible=$(printf '%s\n' "$(ip_of 5)" "$(ip_of 12)" "$(ip_of 20)")
  check "the 3 devices of another family are listed as incompatible" \
    eval '[ "$(gui list table_incompatible | cut -f1 | awk "{print \$1}")" = "$incompatible" ]'
  check "the override is offered and off" eval '[ "$(gui visible chk_override)$(gui checked chk_override)" = 10 ]'
  check "4 upgrade at once by default" eval '[ "$(gui prop spin_parallel value)" = 4 ]'
  # "To upgrade: 27 devices · Already on 105.40.1.1, skipped: 0 devices · Incompatible: 3 devices"
  check "27 to upgrade, 0 skipped, 3 incompatible" \
    eval '[ "$(numbers lab_skipped 7)" = "27 105 40 1 1 0 3 " ]' || gui text lab_skipped
  english && check "the counts in words" \
    eval 'gui text lab_skipped | grep -q "To upgrade: 27 devices.*Incompatible: 3 devices"'
  english && check "the image's name and version" \
    gui_text_is lab_image "Image 105.40.1.1.rom, firmware version 105.40.1.1"
  shot preview

  gui click btn_start || fail "Start refused"
  wait_for 20 eval '[ "$(gui list table_run | wc -l)" = 27 ]' || fail "the run does not list 27 devices"
  wait_for 30 eval 'numbers lab_counts 1 | grep -qv "^0 "' && shot run
  gui_timeout=180 wait_for 180 eval '[ "$(gui visible btn_ok)" = 1 ]' || fail "the run does not end"
  check "25 completed, 2 failed, none running or waiting" \
    eval '[ "$(numbers lab_counts 5)" = "25 2 0 0 0 " ]' || gui text lab_counts
  check "the incompatible devices are not in the run" \
    eval '! gui list table_run | grep -qwF -e "$(ip_of 5)" -e "$(ip_of 12)" -e "$(ip_of 20)"'
  check "Retry failed is offered" eval '[ "$(gui visible btn_retry)" = 1 ]'
  shot final

  gui click btn_retry || fail "Retry refused"
  wait_for 10 eval '[ "$(gui visible btn_ok)" = 0 ]' || fail "the retry does not start"
  gui_timeout=120 wait_for 120 eval '[ "$(gui visible btn_ok)" = 1 ]' || fail "the retry does not end"
  check "after the retry: still 25 completed and the same 2 failed" \
    eval '[ "$(numbers lab_counts 5)" = "25 2 0 0 0 " ]'
  shot retried

  gui click btn_export || fail "Export refused"
  gui_wait_window QFileDialog && gui file-dialog "$work/results.csv"
  wait_for 10 gui_quiet msgbox && gui msgbox-answer btn_ok
  check "the results CSV has a line per device" [ "$(tail -n +2 "$work/results.csv" | wc -l)" = 27 ]
  english && check "25 completed and 2 failed in the CSV" \
    eval '[ "$(grep -c "\"Completed\"" "$work/results.csv")/$(grep -c "\"Failed\"" "$work/results.csv")" = 25/2 ]'
  gui click CBatchUpgradeDlg/btn_ok || fail "Close refused"
  wait_for 5 eval '! gui_window_open CBatchUpgradeDlg' || fail "the window stays open"

  # Downloads (all from the simulator's one address): one whole image per completed device and
  # two per failed one; the simulator's state tells which device rebooted how often.
  size=$(stat -c %s "$image")
  served=$(web_folder_of "$(web_server_of "$gui_pid")")  # the module folder, or root's private one
  full=$(grep -c "GET /download/rom/105.40.1.1.rom HTTP/1.0\" 200 $size" "$served/Tools/nginx/logs/access.log")
  check "25 + 2 x 2 full downloads in the access log" [ "$full" = 29 ]
  check "25 devices run 105.40.1.1 after one reboot" \
    jq -e '[.[] | select(.firmware == "105.40.1.1" and .bootCount == 1)] | length == 25' "$work/state.json"
  check "the 2 that keep their firmware rebooted twice (run and retry)" \
    jq -e '[.[3, 25] | select(.firmware != "105.40.1.1" and .bootCount == 2)] | length == 2' "$work/state.json"
  check "the incompatible and the unselected devices got nothing" \
    jq -e '[.[5, 12, 20, 15, 31, 32, 33, 34, 35, 36, 37, 38, 39] | select(.bootCount != 0)] | length == 0' \
    "$work/state.json"

  # No device that rebooted shows as new: the list's export has each one's status.
  wait_for 20 eval '[ "$(gui list list_device | grep -c "105.40.1.1")" = 25 ]' ||
    fail "the list does not show the new version on 25 devices"
  gui click btn_export && gui_wait_window QFileDialog && gui file-dialog "$work/list.csv"
  wait_for 10 gui_quiet msgbox && gui msgbox-answer btn_ok
  check "the list exports 40 devices" [ "$(tail -n +2 "$work/list.csv" | wc -l)" = 40 ]
  english && check "none of them is new" eval '! grep -q "\"New\"" "$work/list.csv"'
  shot list-after

  # Reboot of a selection: the credential once, a row per device, each back by its boot-up.
  gui row-click list_device 36 && gui row-click list_device 38 shift || fail "no selection to reboot"
  gui row-click list_device 37 right && wait_for 5 gui_quiet menu && gui menu-choose action_reboot ||
    fail "Reboot refused"
  gui_wait_window CBatchRebootDlg || fail "no batch reboot window"
  gui set-text edit_user_name admin && gui set-text edit_password admin
  shot reboot-login
  gui click btn_start || fail "Reboot refused"
  gui_timeout=60 wait_for 60 eval '[ "$(gui visible CBatchRebootDlg/btn_ok)" = 1 ]' || fail "the reboot does not end"
  check "3 rebooted, none failed" eval '[ "$(numbers lab_counts 3)" = "3 0 0 " ]' || gui text lab_counts
  shot reboot-done
  check "the simulator saw the 3 reboots" \
    jq -e '[.[36, 37, 38] | select(.bootCount == 1)] | length == 3' "$work/state.json"
  gui click CBatchRebootDlg/btn_ok || fail "Close refused"
  gui_stop || fail "the program did not end normally"
  gui_pid=
  exit $fail
fi

bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim
need_tools jq
[ -x /usr/sbin/nginx ] || skip "nginx is not installed"
. "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
need_gui_driver
need_built ipscanner
make_work ips-e2e-gui-batch-upgrade

mkdir -p "$work/run" "$work/images"
chmod 700 "$work/run"
private_module "$work/mod"
head -c 200000 /dev/urandom >"$work/images/105.40.1.1.rom"

# One model family (105) with three devices of another (29) among them; devices 3 and 25
# reboot but keep their firmware.
IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 40 --models 105=IM-700 --envelope mixed --reboot-ms 1000 --keep-firmware 3,25 --device-firmware 5=29.30.1.1 --device-firmware 12=29.31.1.2 --device-firmware 20=29.30.1.1 --seed 7 --fleet-file $work/fleet.json --state-file $work/state.json" \
  -- bash "$0" --inner "$work" "$bin"
rc=$?
[ $rc -eq 0 ] && echo "PASS: a selection's batch upgrade leaves out incompatible devices, retries the failed ones and marks none new"
exit $rc
