# GUI end-to-end helpers: run the real program with the test driver loaded (tests/driver) and
# operate its windows by objectName. Source after common.sh; see README-gui-driver.md.
#
#   need_gui_driver                 # while $bin is still the build's module folder
#   gui_on_segment; gui_segment_settings   # or, on a virtual segment, both of these
#   app_work                        # or any private module folder with the program in $exe
#   gui_start "$exe"
#   gui_wait 10 visible list_device || fail "no main window"
#   gui click btn_refresh
#   gui_wait_msgbox "Are you sure" && gui msgbox-answer btn_yes
#   gui_stop || fail "the program exited $?"

# need_gui_driver: finds the driver library and its client beside the module folder $bin
# (build/bin -> build/tests/driver); exit 77 when they are not built.
need_gui_driver() {
  gui_driver_dir=$(cd "$bin/../tests/driver" 2>/dev/null && pwd) || skip "GUI test driver not built"
  [ -f "$gui_driver_dir/libips_gui_driver.so" ] || skip "GUI test driver not built"
  [ -x "$gui_driver_dir/ips-gui-ctl" ] || skip "ips-gui-ctl not built"
}

# gui_on_segment: the common start of a GUI script's part that runs on a virtual segment (with
# $work and $bin set): the driver must be built; $mod is the private module folder $work/mod;
# fail starts at 0; at exit the window is ended, after the script's own gui_cleanup when it
# defines one.
gui_on_segment() {
  need_gui_driver
  fail=0
  mod=$work/mod
  trap gui_on_segment_exit EXIT
}
gui_on_segment_exit() {
  if declare -F gui_cleanup >/dev/null; then gui_cleanup; fi
  [ -n "${gui_pid:-}" ] && kill -KILL "$gui_pid" 2>/dev/null
  wait 2>/dev/null
}

# gui_segment_settings [LANGUAGE]: settings in $mod that choose the segment's adapter, and the
# catalog LANGUAGE when given.
gui_segment_settings() {
  printf '[NET_CONN_SETTING]\nInterface=%s\nAdapterName=%s\nIP=%s\n' \
    "$IPS_SEGMENT_IF" "$IPS_SEGMENT_IF" "$IPS_SEGMENT_APP_IP" >"$mod/config/SystemSetting.ini"
  [ -z "${1:-}" ] || printf '[LANGUAGE_SETTING]\nLanguage=%s\n' "$1" >>"$mod/config/SystemSetting.ini"
}

# gui_start <program> [arguments...]: starts the program in the background with the driver
# (socket $work/gui.sock, output in $work/gui.log, pid in $gui_pid), offscreen unless
# QT_QPA_PLATFORM says otherwise, and waits up to 15 s for the driver to answer.
gui_start() {
  gui_socket=$work/gui.sock
  rm -f "$gui_socket"
  QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} LD_PRELOAD="$gui_driver_dir/libips_gui_driver.so" \
    IPS_GUI_DRIVER="$gui_socket" "$@" >>"$work/gui.log" 2>&1 &
  gui_pid=$!
  wait_for 15 gui_quiet windows || fail "the GUI test driver does not answer on $gui_socket"
}

# gui <command> [arguments...]: one driver command; prints the reply's text, returns 0 for ok,
# 1 for an error (reply on stderr), 2 when the driver cannot be reached.
gui() { "$gui_driver_dir/ips-gui-ctl" "$gui_socket" "$@"; }
gui_quiet() { gui "$@" >/dev/null 2>&1; }

# gui_wait <seconds> <command...>: repeats the command until it replies ok; prints that reply.
gui_wait() {
  local seconds=$1
  shift
  wait_for "$seconds" gui_quiet "$@" && gui "$@"
}

# Waits of ${gui_timeout:-10} seconds for a state of the program.
gui_text_is() { [ "$(gui text "$1" 2>/dev/null)" = "$2" ]; }
gui_msgbox_has() { gui msgbox 2>/dev/null | grep -qF -- "$1"; }
# gui_note_has <text>: the short note over the main window (successes) contains this text.
gui_note_has() { gui text MainWnd/window_note 2>/dev/null | grep -qF -- "$1"; }
gui_window_open() { gui windows 2>/dev/null | cut -f1,2 | tr '\t' '\n' | grep -qxF -- "$1"; }
gui_list_is() {
  local columns
  columns=$(head -1 "$2" | awk -F'\t' '{ print NF }')
  [ "$(gui list "$1" 2>/dev/null | cut -f"1-${columns:-1}")" = "$(cat "$2")" ]
}
# gui_wait_text <name> <text>: the control shows exactly this text.
gui_wait_text() { wait_for "${gui_timeout:-10}" gui_text_is "$1" "$2"; }
# gui_wait_msgbox <text>: a message box is open whose title or text contains this text.
gui_wait_msgbox() { wait_for "${gui_timeout:-10}" gui_msgbox_has "$1"; }
# gui_wait_window <name>: a visible top-level window of this class name or objectName.
gui_wait_window() { wait_for "${gui_timeout:-10}" gui_window_open "$1"; }
# gui_wait_list <list> <file>: the list's rows (as `gui list` prints them) equal the file, in
# as many leading columns as the file's first line has (the main list's dump ends in its
# status and problem columns, which only some tests compare).
gui_wait_list() { wait_for "${gui_timeout:-10}" gui_list_is "$1" "$2"; }

# gui_stop: quits the program the normal way (gui quit) and returns its exit code; kills it when
# it is still running 10 s later (and returns 124).
gui_stop() {
  [ -n "${gui_pid:-}" ] || return 0
  gui_quiet quit
  if ! wait_for 10 gui_gone; then
    kill -KILL "$gui_pid" 2>/dev/null
    wait "$gui_pid" 2>/dev/null
    gui_pid=
    return 124
  fi
  local rc=0
  wait "$gui_pid" || rc=$?
  gui_pid=
  return $rc
}
gui_gone() { ! kill -0 "$gui_pid" 2>/dev/null; }
