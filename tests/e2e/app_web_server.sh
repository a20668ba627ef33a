#!/usr/bin/env bash
# The firmware web server lives exactly as long as the program: it serves Download/Rom/ under
# /download/rom/ on 127.0.0.1:8088 while the program runs, and ends after a normal exit and
# after the program is SIGKILLed. A normal exit deletes the files of Download/Rom and keeps its
# sub-folders. Run as root, the program starts the server as an unprivileged account, from a
# private run-time folder that is gone after the run (and after the next run when it was killed).
# Usage: app_web_server.sh <module folder> <source folder>
set -u
bin=$(realpath "${1:?module folder}")
src=$(realpath "${2:?source folder}")
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_built ipscanner
[ -x /usr/sbin/nginx ] || skip "nginx is not installed"
need_tools curl
in_segment "$bin" "$src"
if curl -s -o /dev/null -m 2 http://127.0.0.1:8088/; then
  skip "something else answers on port 8088"
fi

app_work
rom="$bin/Download/Rom"
tag="e2e-$$"
app=""
root=$([ "$(id -u)" = 0 ] && echo yes)

at_exit() {
  [ -n "$app" ] && kill -KILL "$app" 2>/dev/null
  rm -rf "$bin/Download/Rom/$tag"
}
serves() { [ "$(curl -s -m 2 "http://127.0.0.1:8088/download/rom/$1")" = "$2" ]; }
refused() { ! curl -s -o /dev/null -m 1 http://127.0.0.1:8088/; }
status_of() { curl -s -o /dev/null -m 2 -w '%{http_code}' "http://127.0.0.1:8088/$1"; }
start_app() {  # also finds the server ($server) and the folder it serves from ($rom)
  "$exe" > "$work/$1.log" 2>&1 &
  app=$!
  wait_for 10 test -S "$run/instance.sock" || fail "program did not come up"
  wait_for 10 web_server_of "$app" >/dev/null || fail "no web server child"
  server=$(web_server_of "$app")
  folder=$(web_folder_of "$server")
  rom=$folder/Download/Rom
  if [ -n "$root" ]; then
    uid=$(awk '/^Uid:/ {print $2 "/" $3 "/" $4 "/" $5}' "/proc/$server/status")
    echo "web server's real/effective/saved/file uid under root: $uid"
    tr '/' '\n' <<<"$uid" | grep -qx 0 && fail "the web server runs as root ($uid)"
    [ "$(awk '/^Groups:/ {print NF - 1}' "/proc/$server/status")" = 0 ] ||
      fail "the web server keeps supplementary groups"
    [ "$folder" != "$bin" ] || fail "the web server serves the module folder under root"
  fi
}

# Normal run: a file put into Download/Rom while the program runs is served; nothing else is.
start_app normal
mkdir -p "$rom/$tag"
echo "kept" > "$rom/$tag/inside.rom"
echo "image-1 $tag" > "$rom/$tag.rom"
echo "image-2 $tag" > "$rom/$tag.zip"
wait_for 10 serves "$tag.rom" "image-1 $tag" || fail "firmware file is not served"
serves "$tag.zip" "image-2 $tag" || fail "second firmware file is not served"
[ "$(status_of "")" = 404 ] || fail "the server answers outside /download/rom/"
[ "$(status_of "skin/style.qss")" = 404 ] || fail "the skin folder is reachable"
[ "$(status_of "download/rom/../../skin/style.qss")" != 200 ] || fail "path traversal reaches the skin folder"
[ "$(curl -s -o /dev/null -m 2 -w '%{http_code}' -X PUT --data x "http://127.0.0.1:8088/download/rom/$tag.put")" != 201 ] \
  || fail "the server accepts uploads"
echo "ok: serves Download/Rom under /download/rom/ on 8088 and nothing else"

# Whoever may write into the folder must not make the server hand out other files: a link (to a
# file the server's user can read) and dot files are refused, a plain file beside them is served.
secret="/etc/hostname"
ln -s "$secret" "$rom/$tag-link.rom"
echo "hidden $tag" > "$rom/.$tag-hidden.rom"
mkdir -p "$rom/.$tag-dir" && echo "hidden $tag" > "$rom/.$tag-dir/in.rom"
for path in "$tag-link.rom" ".$tag-hidden.rom" ".$tag-dir/in.rom"; do
  code=$(status_of "download/rom/$path")
  [ "$code" != 200 ] || fail "the server hands out $path (HTTP $code)"
done
serves "$tag.rom" "image-1 $tag" || fail "a plain file is no longer served beside them"
rm -f "$rom/$tag-link.rom"
echo "ok: a symlink and dot files in the download folder are refused"

kill -TERM "$app"; wait "$app"; rc=$?; app=""
[ $rc -eq 0 ] || fail "normal close exited $rc"
wait_for 5 refused || fail "web server still answers after a normal exit"
kill -0 "$server" 2>/dev/null && fail "the web server process outlives a normal exit"
if [ -n "$root" ]; then
  [ ! -e "$folder" ] || fail "the private run-time folder $folder is left after a normal exit"
  grep -q "GET /download/rom/$tag.rom" "$bin/Tools/nginx/logs/access.log" ||
    fail "the run's access log was not kept in the data folder"
  echo "ok: under root the server ran as an unprivileged account; its folder is gone, its log kept"
else
  [ ! -e "$rom/$tag.rom" ] && [ ! -e "$rom/$tag.zip" ] || fail "firmware files left after a normal exit"
  [ -f "$rom/$tag/inside.rom" ] || fail "a sub-folder of Download/Rom was emptied"
  echo "ok: normal exit stops the server, deletes the files and keeps sub-folders"
fi

# Killed from outside: the server goes with the program.
start_app killed
echo "image-3 $tag" > "$rom/$tag.rom"
wait_for 10 serves "$tag.rom" "image-3 $tag" || fail "firmware file is not served on the second run"
kill -KILL "$app"; wait "$app" 2>/dev/null; app=""
wait_for 5 eval '! kill -0 "$server" 2>/dev/null' || fail "the web server process outlives a SIGKILL of the program"
wait_for 5 refused || fail "web server still answers after the program was killed"
echo "ok: SIGKILL of the program ends the web server"
if [ -n "$root" ]; then
  killed=$folder
  start_app after-kill
  [ ! -e "$killed" ] || fail "the killed run's folder $killed is left after the next start"
  kill -TERM "$app"; wait "$app"; app=""
  echo "ok: the next run removes the folder a killed run left"
fi
exit 0
