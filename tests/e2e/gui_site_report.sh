#!/usr/bin/env bash
# The window's site record and "Report…", driven through the GUI test driver on a virtual segment
# with three simulated devices. The settings' site name switches the record at once (no restart):
# a reboot from the device view afterwards lands in the new site with the window as its source
# and no password. "Report…" goes through Qt's save dialog, reads the devices' settings while the
# window stays responsive, and ends with a note naming the PDF, whose text holds the three MACs
# and the reboot. Exit 77 when a segment cannot be made or the driver is not built.
#
# IPS_SHOT_LANGUAGE=Deutsch (a catalog name) runs it in that language, and IPS_SHOT_DIR=DIR saves
# screenshots of the settings with the site name and of the window with the report's note, and
# the PDF's first pages (in that language) as PNG.
set -uo pipefail

if [ "${1:-}" = --inner ]; then
  work=$2 bin=$3
  . "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
  . "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
  gui_on_segment
  language=${IPS_SHOT_LANGUAGE:-English}
  gui_segment_settings "$language"
  tr_text() { grep -m1 "^$1=" "$mod/Language/$language.txt" | cut -d= -f2-; }
  shot() { [ -n "${IPS_SHOT_DIR:-}" ] && gui screenshot "$IPS_SHOT_DIR/$1-$language.png" >/dev/null; }
  no_msgbox() { ! gui msgbox >/dev/null 2>&1; }

  XDG_RUNTIME_DIR=$work/run gui_start "$mod/ipscanner"
  gui_timeout=20 wait_for 20 eval '[ "$(gui list list_device 2>/dev/null | wc -l)" -eq 3 ]' ||
    fail "the main list does not show the 3 devices"

  gui click btn_system_setting >/dev/null
  gui_wait_window SystemSettingDlg || fail "the settings button opened nothing"
  check "the site name field shows the default site" gui_text_is edit_site_name default
  gui set-text edit_site_name north-wing >/dev/null
  shot site-name-setting
  gui click btn_ok >/dev/null
  wait_for 5 eval '! gui_window_open SystemSettingDlg' || fail "OK does not close the settings"
  check "the site name is saved" grep -qx "SiteName=north-wing" "$mod/config/SystemSetting.ini"

  # A reboot from the device view, recorded into the new site.
  mac=$(gui list list_device | head -1 | cut -f3)
  gui row-click list_device 0 >/dev/null
  gui_wait 6 visible layout_device_info >/dev/null
  gui set-text edit_user_name admin >/dev/null
  gui set-text edit_password admin >/dev/null
  gui click btn_reboot >/dev/null
  gui_wait_msgbox "$(tr_text 'Are you sure you want to reboot this device?')" || fail "no reboot question"
  gui msgbox-answer btn_yes >/dev/null
  wait_for 5 no_msgbox || fail "the reboot question stays"
  wait_for 10 gui_note_has "$(tr_text 'The device is restarting. Its row shows this until it answers again.')" ||
    fail "no restarting note"

  gui click btn_report >/dev/null && gui_wait_window QFileDialog || fail "Report… opens no file dialog"
  gui file-dialog "$work/handover.pdf" || fail "the file dialog refused the name"
  # The settings are read with the wait dialog up: the window keeps answering meanwhile.
  check "the window answers while the report is made" gui text btn_report
  gui_timeout=30 wait_for 30 gui_note_has "$work/handover.pdf" ||
    { gui windows; gui msgbox; gui text MainWnd/window_note; fail "no note naming the report"; }
  shot report-note
  # The next discovery (every 5 s) records the listed devices into the new site.
  db=$mod/sites/north-wing.sqlite
  q() { sqlite3 -batch -noheader "$1" "$2"; }
  check "the new site holds the three devices" wait_for 15 eval '[ "$(q "$db" "SELECT count(*) FROM devices")" = 3 ]'
  gui_stop
  check "the program ends with exit 0" test $? -eq 0

  site_mac=$(printf '%s' "$mac" | tr a-f A-F | tr -d ':-' | sed 's/../&:/g; s/:$//')
  check "the reboot is in the new site, from the window, ok, without password" \
    [ "$(q "$db" "SELECT o.kind, o.source, d.mac, d.result, o.parameters LIKE '%admin%admin%' FROM operations o JOIN operation_devices d ON d.operation_id = o.id")" = "reboot|window|$site_mac|ok|0" ]
  check "the old site has no operation" [ "$(q "$mod/sites/default.sqlite" 'SELECT count(*) FROM operations')" = 0 ]
  pdftotext -layout "$work/handover.pdf" "$work/handover.txt" 2>/dev/null
  [ -n "${IPS_SHOT_DIR:-}" ] &&
    pdftoppm -png -r 50 -f 1 -l 3 "$work/handover.pdf" "$IPS_SHOT_DIR/report-pdf-$language"
  check "the PDF names the site" grep -q "north-wing" "$work/handover.txt"
  check "the PDF holds the three MACs" \
    eval '[ "$(gui_macs=$(jq -r ".[].mac" "$work/fleet.json" | tr a-f A-F | tr -d ":-" | sed "s/../&:/g; s/:\$//"); for m in $gui_macs; do grep -c "$m" "$work/handover.txt" >/dev/null && echo "$m"; done | wc -l)" -eq 3 ]'
  check "the PDF's operations log holds the reboot" grep -q "reboot" "$work/handover.txt"
  check "the PDF's own texts are in the window's language" \
    grep -qF "$(tr_text 'Program version')" "$work/handover.txt"
  exit $fail
fi

bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
. "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner
need_tools jq sqlite3 pdftotext
need_gui_driver
make_work ips-e2e-site-report-gui
private_module "$work/mod"
mkdir -m 700 "$work/run"

IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 3 --static-share 0 --seed 23 --reboot-ms 800 --fleet-file $work/fleet.json" \
  -- bash "$0" --inner "$work" "$bin"
rc=$?
[ $rc -eq 0 ] && echo "PASS: site name and report through the window"
exit $rc
