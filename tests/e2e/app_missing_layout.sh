#!/usr/bin/env bash
# A main window whose layout file is missing: the program shows a box (that needs no skin file)
# naming the file and ends with a non-zero code, instead of ending at once with 0 and no window.
# Usage: app_missing_layout.sh <module folder> <source folder>
set -u
bin=$(realpath "${1:?module folder}")
src=$(realpath "${2:?source folder}")
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_built ipscanner
in_segment "$bin" "$src"

app_work
rm -f "$bin/skin/MainWnd.xml"
"$exe" > "$work/app.log" 2>&1 &
pid=$!
at_exit() { kill -KILL "$pid" 2>/dev/null; }
wait_for 10 grep -q "MainWnd.xml" "$work/app.log" || fail "no word about the layout file"
sleep 1
kill -0 "$pid" 2>/dev/null || fail "the program ended without showing the error box"
kill -TERM "$pid"  # closes the box as a user would
wait "$pid"
rc=$?
[ "$rc" -ne 0 ] || fail "exit code 0 although no window could be shown"
echo "ok: missing layout shows a box and exits $rc"
