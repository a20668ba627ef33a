#!/usr/bin/env bash
# A row's firmware upgrade in the real window on a virtual segment: the image is chosen in Qt's
# file dialog, confirmed, copied into Download/Rom, and the upgrade window follows the device.
# The first device fetches the image from the program's own nginx child, reboots into it and the
# window ends "Upgrade completed."; the second one reboots but keeps its old firmware and the
# window ends "Upgrade failed. Please check the device.". nginx's access log shows both
# downloads. With IPS_E2E_SHOTS=<folder> the screenshots of the upgrade window are copied there.
# Exit 77 when a segment cannot be made or the driver is not built.
set -uo pipefail

if [ "${1:-}" = --inner ]; then
  work=$2 bin=$3
  . "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
  . "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
  gui_on_segment
  image=$work/images/105.40.1.1.rom
  gui_segment_settings
  shot() {
    gui screenshot "$work/$1.png" >/dev/null || return 1
    [ -n "${IPS_E2E_SHOTS:-}" ] && cp "$work/$1.png" "$IPS_E2E_SHOTS/"
    return 0
  }

  XDG_RUNTIME_DIR=$work/run gui_start "$mod/ipscanner"
  wait_for 20 eval '[ "$(gui list list_device 2>/dev/null | wc -l)" = 2 ]' ||
    { gui list list_device; fail "the two devices are not listed"; }

  # upgrade <row> <final text> <screenshot name>
  upgrade() {
    local row=$1 final=$2 name=$3
    gui row-button list_device "$row" btn_upgrade || fail "row $row: the upgrade button is refused"
    gui_wait_window QFileDialog || fail "row $row: no file dialog"
    gui file-dialog "$image" || fail "row $row: the file dialog refused the image"
    gui_wait_msgbox "Are you sure you want to upgrade?" || fail "row $row: no confirmation"
    gui msgbox-answer btn_yes
    gui_timeout=20 gui_wait_window CUpgradeDlg || fail "row $row: no upgrade window"
    check "row $row: the window names the image's version" \
      gui_text_is lab_firmware "Firmware version: 105.40.1.1"
    check "row $row: in progress" \
      gui_text_is lab_desc "Upgrade in progress. Please wait for about 1 to 5 minutes."
    check "row $row: only Cancel while in progress" \
      eval '[ "$(gui visible btn_cancel)$(gui visible CUpgradeDlg/btn_ok)" = 10 ]'
    [ "$row" = 0 ] && shot upgrade-in-progress
    gui_timeout=60 gui_wait_text lab_desc "$final" ||
      { gui text lab_desc; fail "row $row: the window does not end with \"$final\""; }
    echo "ok: row $row ends \"$final\""
    shot "$name"
    gui click CUpgradeDlg/btn_ok || fail "row $row: OK refused"
    wait_for 5 eval '! gui_window_open CUpgradeDlg' || fail "row $row: the window stays open"
  }
  upgrade 0 "Upgrade completed." upgrade-completed
  upgrade 1 "Upgrade failed. Please check the device." upgrade-failed

  # The module folder, or under root the web server's private run-time folder.
  served=$(web_folder_of "$(web_server_of "$gui_pid")")
  check "the copy of the image is served from Download/Rom" cmp "$image" "$served/Download/Rom/105.40.1.1.rom"
  size=$(stat -c %s "$image")
  check "nginx's access log shows both devices' downloads" \
    [ "$(grep -c "GET /download/rom/105.40.1.1.rom HTTP/1.0\" 200 $size" "$served/Tools/nginx/logs/access.log")" = 2 ]
  check "the simulator runs the new firmware on the first device only" \
    jq -e '.[0].firmware == "105.40.1.1" and .[1].firmware != "105.40.1.1" and .[1].bootCount == 1' \
    "$work/state.json"
  gui_stop || fail "the program did not end normally"
  gui_pid=
  check "a normal exit empties the download folder" [ -z "$(ls -A "$served/Download/Rom" 2>/dev/null)" ]
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
make_work ips-e2e-gui-upgrade

mkdir -p "$work/run" "$work/images"
chmod 700 "$work/run"
private_module "$work/mod"
head -c 200000 /dev/urandom >"$work/images/105.40.1.1.rom"

# Device 0 upgrades; device 1 reboots but keeps its firmware. Both sort in that order by IP and
# are of the image's firmware family (105).
IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 2 --models 105=IM-700 --envelope mixed --reboot-ms 1000 --keep-firmware 1 --seed 7 --state-file $work/state.json" \
  -- bash "$0" --inner "$work" "$bin"
rc=$?
[ $rc -eq 0 ] && echo "PASS: a row's upgrade runs to completed, and to failed for a device that keeps its firmware"
exit $rc
