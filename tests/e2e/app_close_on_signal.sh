#!/usr/bin/env bash
# SIGTERM ends the program the normal way (exit 0) whatever window is open on top of the main
# window: one of our own dialogs (the about box) or a system dialog (the export's file dialog).
# The window runs offscreen from a private module folder against two simulated devices, so
# the list has rows and Export asks for a file. Exit 77 when a segment cannot be made.
set -uo pipefail

if [ "${1:-}" = --inner ]; then
  work=$2
  . "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
  mod=$work/mod list=$work/list.txt
  at_exit() {
    [ -n "${gui:-}" ] && kill -KILL "$gui" 2>/dev/null
    wait 2>/dev/null
  }
  trap at_exit EXIT
  printf '[NET_CONN_SETTING]\nInterface=%s\nAdapterName=%s\nIP=%s\n' \
    "$IPS_SEGMENT_IF" "$IPS_SEGMENT_IF" "$IPS_SEGMENT_APP_IP" >"$mod/config/SystemSetting.ini"
  has_rows() { [ -s "$list" ]; }
  gone() { ! kill -0 "$gui" 2>/dev/null; }

  # close_with <name> <control>: clicks the control, then SIGTERM must end the program.
  close_with() {
    rm -f "$list"
    QT_QPA_PLATFORM=offscreen IPS_DEBUG_DUMP_LIST=$list XDG_RUNTIME_DIR=$work/run \
      "$mod/ipscanner" >"$work/$1.log" 2>&1 &
    gui=$!
    wait_for 10 test -f "$list" || skip "the program does not run the main window (no list written)"
    wait_for 15 has_rows || fail "$1: no device listed"
    echo "$2" >"$list.cmd"
    wait_for 3 test ! -f "$list.cmd" || fail "$1: the window did not take the command"
    sleep 0.3
    kill -TERM "$gui"
    wait_for 5 gone || fail "$1: the program still runs 5 s after SIGTERM"
    wait "$gui"
    rc=$?
    gui=
    [ $rc -eq 0 ] || fail "$1: the program exited $rc on SIGTERM"
    echo "ok: SIGTERM ends the program with $2's window open"
  }
  close_with about btn_about
  close_with export btn_export
  exit 0
fi

bin=${1:?module folder}
src=${2:?source folder}
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns "needs root for network namespaces"
need_built devsim ipscanner
make_work ips-e2e-close
private_module "$work/mod"
mkdir -m 700 "$work/run"

IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet --devsim "--count 2 --seed 4" \
  -- bash "$0" --inner "$work"
