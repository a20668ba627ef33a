#!/usr/bin/env bash
# The main window on a site with problems: two devices share an IP address, one lies outside the
# segment's network and two stop answering. The toolbar's "Problems (N)" counts the three
# devices with a problem; checking it narrows the list to exactly them (emptied and refilled,
# like the model filter), unchecking it brings every device back, the quiet devices are shown
# missing and back again and keep their rows. The real window runs offscreen with the GUI test driver; a screenshot of it is left
# in the work folder (IPS_E2E_KEEP=1 keeps it). Exit 77 when a segment cannot be made.
set -uo pipefail

if [ "${1:-}" = --inner ]; then
  work=$2 bin=$3
  . "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
  . "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
  gui_on_segment
  # Rows as the list shows them: sorted by IP numerically, then by MAC ignoring case.
  expected() {
    jq -r "$jq_display_mac$1"' | sort_by([(.ip | split(".") | map(tonumber)), (.mac | display_mac)]) | to_entries[]
           | [(.key + 1 | tostring), .value.ip, (.value.mac | display_mac), .value.expectedModel, .value.deviceId, .value.firmware]
           | join("\t")' "$work/fleet.json"
  }
  show_list() { echo "--- list"; gui list list_device; }

  gui_segment_settings
  expected '.' >"$work/all.txt"
  expected '[.[] | select(.index == 3 or .index == 4 or .index == 7)]' >"$work/problems.txt"

  XDG_RUNTIME_DIR=$work/run gui_start "$mod/ipscanner"
  gui_timeout=20 gui_wait_list list_device "$work/all.txt" || { show_list; fail "the site is not listed"; }
  count=$(gui text lab_device_count)
  gui_wait_text btn_problems "Problems (3)" || fail "toggle says '$(gui text btn_problems)'"

  gui check btn_problems 1 || fail "the toggle cannot be checked"
  gui_wait_list list_device "$work/problems.txt" || { show_list; fail "checked toggle does not list exactly the three"; }
  gui screenshot "$work/problems.png" MainWnd >/dev/null || fail "no screenshot"
  gui check btn_problems 0 || fail "the toggle cannot be unchecked"
  gui_wait_list list_device "$work/all.txt" || { show_list; fail "unchecked toggle does not list every device"; }
  echo "ok: the toggle narrows the list to the 3 devices with a problem and back"

  # Devices 10 and 11 are quiet from 8 s to 30 s after devsim started: missing once three
  # discovery rounds (5 s apart) passed without them, back with the first round after that.
  # Exactly they change status, the problem column names the three devices' problems, their rows
  # stay and the count label keeps its text.
  macs_with() { gui list list_device 2>/dev/null | awk -F'\t' -v s="$1" '$7 == s { print $3 }'; }
  quiet_are() { [ "$(macs_with "$1")" = "$(cat "$work/quiet.txt")" ]; }
  cut -f3 "$work/all.txt" | grep -xF -f <(jq -r "$jq_display_mac"'.[] | select(.index == 10 or .index == 11)
    | .mac | display_mac' "$work/fleet.json") >"$work/quiet.txt"
  [ "$(wc -l <"$work/quiet.txt")" = 2 ] || fail "the fleet has no devices 10 and 11"
  # The problem column: the two devices on one address and the one outside the network.
  jq -r "$jq_display_mac"'[.[] | select(.index == 3 or .index == 4 or .index == 7)]
         | sort_by([(.ip | split(".") | map(tonumber)), (.mac | display_mac)])[]
         | (.mac | display_mac) + "\t" + (if .index == 7 then "outside_subnet" else "duplicate_ip" end)' \
    "$work/fleet.json" >"$work/problem-column.txt"
  problem_column_is_right() {
    [ "$(gui list list_device | awk -F'\t' '$8 != "" { print $3 "\t" $8 }')" = "$(cat "$work/problem-column.txt")" ]
  }
  wait_for 5 problem_column_is_right || { show_list; fail "the problem column does not name exactly the three problems"; }
  wait_for 35 quiet_are missing || { show_list; fail "the quiet devices are not shown missing"; }
  gui_wait_list list_device "$work/all.txt" || { show_list; fail "rows of quiet devices were removed"; }
  # The count label counts the devices online, so it drops by the two.
  gui_text_is lab_device_count "Online devices: $((${count##*: } - 2))" ||
    fail "count label says '$(gui text lab_device_count)' after two of '$count' went quiet"
  echo "ok: exactly the quiet devices are shown missing; their rows stay"
  wait_for 20 quiet_are back || { show_list; fail "the quiet devices are not shown back"; }
  [ -z "$(macs_with missing)" ] || { show_list; fail "a device stays missing"; }
  echo "ok: the quiet devices are shown back once they answer again"
  gui screenshot "$work/site.png" MainWnd >/dev/null || fail "no screenshot"
  [ "$(head -c 4 "$work/site.png" | od -An -tx1 | tr -d ' ')" = 89504e47 ] || fail "screenshot is no PNG"
  gui_stop || fail "the program exited $?"
  exit 0
fi

bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner
need_tools jq
. "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
need_gui_driver
make_work ips-e2e-site
mkdir -m 700 "$work/run"
private_module "$work/mod"

IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet \
  --devsim "--count 30 --seed 8 --fleet-file $work/fleet.json --device-ip 4=10.213.1.103 --device-ip 7=192.168.40.7 --silent 10-11@8000+22000" \
  -- bash "$0" --inner "$work" "$bin"
rc=$?
[ $rc -eq 0 ] && echo "PASS: the window counts and filters the site's problems and keeps quiet devices"
exit $rc
