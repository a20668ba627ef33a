#!/usr/bin/env bash
# The language catalog at start: the "Language" setting names the catalog file in Language/;
# without a setting the program loads English.txt.
# Usage: app_language.sh <module folder> <source folder>
set -u
bin=$(realpath "${1:?module folder}")
src=$(realpath "${2:?source folder}")
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_built ipscanner
in_segment "$bin" "$src"

app_work
ini="$bin/config/SystemSetting.ini"
app=""
at_exit() {
  [ -n "$app" ] && kill -KILL "$app" 2>/dev/null
}
# run_with <name> <ini content or "-" for no file>: starts, waits for the window, closes normally.
run_with() {
  mkdir -p "$(dirname "$ini")"
  if [ "$2" = "-" ]; then rm -f "$ini"; else printf '%s' "$2" > "$ini"; fi
  "$exe" > "$work/$1.log" 2>&1 &
  app=$!
  wait_for 10 test -S "$run/instance.sock" || fail "$1: program did not come up"
  kill -TERM "$app"; wait "$app"; app=""
}

run_with german $'[LANGUAGE_SETTING]\nLanguage=Deutsch\n'
grep -q "language catalog $bin/Language/Deutsch.txt\$" "$work/german.log" || fail "Deutsch.txt was not loaded"
run_with empty $'[LANGUAGE_SETTING]\nLanguage=\n'
grep -q "language catalog $bin/Language/English.txt\$" "$work/empty.log" || fail "an empty setting did not load English.txt"
run_with none -
grep -q "language catalog $bin/Language/English.txt\$" "$work/none.log" || fail "no settings file did not load English.txt"
echo "ok: the setting picks the catalog, English by default"
exit 0
