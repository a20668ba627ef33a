#!/usr/bin/env bash
# SIGTERM ends the program the normal way (exit 0) whatever window is open on top of the main
# window: one of our own dialogs (the about box) or a system dialog (the export's file dialog).
# The window runs offscreen from a private module folder against two simulated devices, so
# the list has rows and Export asks for a file. Exit 77 when a segment cannot be made.
set -uo pipefail

if [ "${1:-}" = --inner ]; then
  work=$2
  . "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
  . "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
  bin=$3
  gui_on_segment
  gui_segment_settings
  has_rows() { [ -n "$(gui list list_device 2>/dev/null)" ]; }

  # close_with <control> <window class>: clicks the control, waits for the window it opens,
  # then SIGTERM must end the program.
  close_with() {
    XDG_RUNTIME_DIR=$work/run gui_start "$mod/ipscanner"
    wait_for 15 has_rows || fail "$1: no device listed"
    gui click "$1" || fail "$1 cannot be clicked"
    gui_timeout=5 gui_wait_window "$2" || fail "$1: no $2 came up"
    kill -TERM "$gui_pid"
    wait_for 5 gui_gone || fail "$1: the program still runs 5 s after SIGTERM"
    wait "$gui_pid"
    rc=$?
    gui_pid=
    [ $rc -eq 0 ] || fail "$1: the program exited $rc on SIGTERM"
    echo "ok: SIGTERM ends the program with $2 open"
  }
  close_with btn_about CAboutDlg
  close_with btn_export QFileDialog
  exit 0
fi

bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner
. "$(dirname "${BASH_SOURCE[0]}")/lib/gui_driver.sh"
need_gui_driver
make_work ips-e2e-close
private_module "$work/mod"
mkdir -m 700 "$work/run"

IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet --devsim "--count 2 --seed 4" \
  -- bash "$0" --inner "$work" "$bin"
