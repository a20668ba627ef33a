#!/usr/bin/env bash
# The GUI test driver against the real program on a virtual segment with three simulated
# devices: the list is read through its model, Refresh and the search are driven, a row's drawn
# upgrade button is pressed where the program's hit test looks, message boxes and the about box
# are read and answered, the CSV export goes through Qt's save dialog (a fresh file, then an
# existing one declined), the model drop-down opens and closes, screenshots are written, errors
# come back as such, and quit ends the program the normal way. Exit 77 when a segment cannot be
# made or the driver is not built.
set -uo pipefail

if [ "${1:-}" = --inner ]; then
  work=$2 bin=$3
  . "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
  . "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
  gui_on_segment
  gui_segment_settings
  by_ip='sort_by(.ip | split(".") | map(tonumber)) | to_entries[]'
  jq -r "$jq_display_mac$by_ip"' | [(.key + 1 | tostring), .value.ip, (.value.mac | display_mac), .value.expectedModel,
                     .value.deviceId, .value.firmware] | join("\t")' "$work/fleet.json" >"$work/rows.txt"
  {
    # The list's columns, then the site's (every device online, none with a problem).
    printf 'Index,"IP Address","MAC Address","Model","Room Number","Firmware Version","Status","Problems"\r\n'
    jq -r "$by_ip"' | "\(.key + 1),\"\(.value.ip)\",\"\(.value.mac)\",\"\(.value.expectedModel)\",\"\(.value.deviceId)\",\"\(.value.firmware)\",\"Online\",\"\"\r"' \
      "$work/fleet.json"
  } >"$work/expected.csv"

  XDG_RUNTIME_DIR=$work/run gui_start "$mod/ipscanner"
  gui_timeout=20 gui_wait_list list_device "$work/rows.txt" ||
    { gui list list_device; fail "list: the fleet is not listed"; }
  echo "ok: list reads the main list through its model"
  check "text reads the device count" gui_text_is lab_device_count "Online devices: 3"
  check "windows names the main window as modal" \
    eval 'gui windows | grep -qP "^CMainWnd\tMainWnd\t.*\t1$"'
  check "screenshot writes the whole screen" gui screenshot "$work/main.png"
  check "the screenshot is a PNG" eval '[ "$(head -c 4 "$work/main.png" | tail -c 3)" = PNG ]'
  # Children (the web server) run without the driver in their environment.
  no_driver_in_children() {
    local child
    for child in $(ps -o pid= --ppid "$gui_pid"); do
      tr '\0' '\n' <"/proc/$child/environ" | grep -qE "^IPS_GUI_DRIVER=|libips_gui_driver" && return 1
    done
    return 0
  }
  check "children of the program do not inherit the driver" no_driver_in_children

  gui row-select list_device 2
  wait_for 5 eval '[ "$(gui current-row list_device)" = 2 ]' || fail "row-select: row 2 is not current"
  gui row-click list_device 1
  wait_for 5 eval '[ "$(gui current-row list_device)" = 1 ]' || fail "row-click: row 1 is not current"
  echo "ok: row-select and row-click make a row current"

  # A row's drawn button: the upgrade asks for an image file, then whether to go on.
  # An image of row 1's firmware family, so that no compatibility warning comes first.
  family=$(gui list list_device | sed -n 2p | cut -f6 | cut -d. -f1)
  echo image >"$work/$family.99.1.2.rom"
  gui row-button list_device 1 btn_upgrade || fail "row-button refused"
  gui_wait_window QFileDialog || fail "row-button: no file dialog"
  gui file-dialog "$work/$family.99.1.2.rom" || fail "row-button: file-dialog refused"
  gui_wait_msgbox "Are you sure you want to upgrade?" || fail "row-button: no message box"
  # The confirmation goes on with the device, the file and the versions.
  check "msgbox gives title and text" \
    eval '[ "$(gui msgbox | cut -c1-41)" = "$(printf "Upgrade\tAre you sure you want to upgrade?")" ]'
  check "msgbox escapes the text's line breaks" eval 'gui msgbox | grep -qF "upgrade?\\n\\nDevice: "'
  check "screenshot of one window by name" gui screenshot "$work/box.png" MessageBox
  check "a name hidden by the box's layout is refused" eval '! gui msgbox-answer btn_cancel 2>/dev/null'
  gui msgbox-answer 7 || fail "msgbox-answer 7 refused"
  wait_for 5 eval '! gui_quiet msgbox' || fail "msgbox-answer did not close the box"
  check "msgbox says none when no box is open" eval '[ "$(gui msgbox 2>&1)" = "error none" ]'

  # The about box: read, then closed by its OK button.
  gui click btn_about && gui_wait_window CAboutDlg || fail "about: no about box"
  check "screenshot draws the box over the main window" gui screenshot "$work/about.png"
  check "enabled reads a control of the modal box" eval '[ "$(gui enabled CAboutDlg/btn_ok)" = 1 ]'
  check "text reads the about box's version" eval 'gui text lab_ver | grep -qE "^[0-9]+(\.[0-9]+)+$"'
  gui click CAboutDlg/btn_ok || fail "about: OK refused"
  wait_for 5 eval '! gui_window_open CAboutDlg' || fail "about: the box stays open"

  # Export through the save dialog into a new file, then onto it again, declined.
  gui click btn_export && gui_wait_window QFileDialog || fail "export: no file dialog"
  gui file-dialog "$work/devices.csv" || fail "export: file-dialog refused"
  wait_for 10 gui_note_has "$work/devices.csv" || fail "export: no note naming the file"
  check "the exported CSV holds the listed devices" cmp "$work/expected.csv" "$work/devices.csv" ||
    { cat -A "$work/devices.csv"; cat -A "$work/expected.csv"; }
  echo changed >"$work/devices.csv"
  gui_wait 5 click btn_export >/dev/null && gui_wait_window QFileDialog || fail "export 2: no dialog"
  gui file-dialog "$work/devices.csv"
  gui_wait_msgbox "are you sure you want to cover it" || fail "export 2: no overwrite question"
  gui msgbox-answer btn_no
  wait_for 5 eval '! gui_quiet msgbox' || fail "export 2: the question stays"
  check "a declined overwrite keeps the file" eval '[ "$(cat "$work/devices.csv")" = changed ]'

  # Search: typed text and the search button narrow the list to one device.
  mac=$(sed -n 2p "$work/rows.txt" | cut -f3)
  gui set-text edit_search "$mac" && gui click btn_search || fail "search refused"
  sed -n 2p "$work/rows.txt" | awk -F'\t' -v OFS='\t' '{ $1 = 1; print }' >"$work/found.txt"
  gui_wait_list list_device "$work/found.txt" ||
    { gui list list_device; fail "search: not just the device $mac"; }
  echo "ok: set-text and click search the list"
  check "text reads the search box" gui_text_is edit_search "$mac"
  gui click btn_refresh
  gui_wait_list list_device "$work/rows.txt" || fail "refresh: the fleet does not come back"

  # The model drop-down opens as a window of its own and closes again.
  gui combo combo_model open && gui_wait_window CModelComboDlg || fail "combo: no drop-down"
  gui combo combo_model close
  wait_for 5 eval '! gui_window_open CModelComboDlg' || fail "combo: the drop-down stays"
  echo "ok: combo opens and closes the model drop-down"

  # Errors are errors.
  check "an unknown control is an error" eval '[ "$(gui click no_such_button 2>&1)" = "error no control no_such_button" ]'
  check "an unknown command is an error" eval '! gui frobnicate 2>/dev/null'
  check "a missing argument is an error" eval '! gui text 2>/dev/null'
  check "a row past the end is an error" eval '! gui row-click list_device 99 2>/dev/null'
  "$gui_driver_dir/ips-gui-ctl" "$work/no-such.sock" windows 2>/dev/null
  check "no driver at the socket: exit 2" test $? -eq 2

  gui_stop
  rc=$?
  check "quit ends the program with exit 0" test $rc -eq 0
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
make_work ips-e2e-driver
private_module "$work/mod"
mkdir -m 700 "$work/run"

IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 3 --empty-model-share 0 --seed 8 --fleet-file $work/fleet.json" \
  -- bash "$0" --inner "$work" "$bin"
