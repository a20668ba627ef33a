# Shared start of the end-to-end scripts. A script reads its arguments into bin (the module
# folder) and src (the source folder), then sources this file:
#   . "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
# Sourcing only defines functions; the script calls the checks and helpers it needs.

# skip <reason>: the test cannot run here; ctest counts exit 77 as skipped.
skip() {
  echo "skip: $*"
  exit 77
}
need_root() { [ "$(id -u)" -eq 0 ] || skip "${1:-needs root}"; }
# Root and working network namespaces, for anything that runs on a virtual segment.
need_netns() {
  need_root "${1:-needs root}"
  ip netns list >/dev/null 2>&1 || skip "ip netns unavailable"
}
need_built() {  # executable names in $bin
  local exe
  for exe; do [ -x "$bin/$exe" ] || skip "$bin/$exe not built"; done
}
need_tools() {  # commands on the PATH
  local tool
  for tool; do command -v "$tool" >/dev/null || skip "$tool missing"; done
}

# make_work [name]: a fresh temporary folder in $work (/tmp/name-XXXXXX when named), removed at
# exit unless IPS_E2E_KEEP is set. A script that has more to undo defines at_exit, which runs
# first. The script's exit code is kept.
make_work() {
  if [ $# -gt 0 ]; then work=$(mktemp -d "/tmp/$1-XXXXXX"); else work=$(mktemp -d); fi
  trap e2e_exit EXIT
}
e2e_exit() {
  if declare -F at_exit >/dev/null; then at_exit; fi
  [ -n "${IPS_E2E_KEEP:-}" ] || rm -rf "$work"
}

# wait_for <seconds> <command...>: true as soon as the command succeeds, polling every 50 ms.
wait_for() {
  local limit=$(($1 * 20)) i
  shift
  for ((i = 0; i < limit; i++)); do "$@" && return 0; sleep 0.05; done
  return 1
}

# fail <text>: ends the script with exit 1 after the text and every log file in $work.
fail() {
  local f
  echo "FAIL: $*"
  for f in "$work"/*.log; do [ -f "$f" ] && { echo "--- $f"; cat "$f"; }; done
  exit 1
}

# check <description> <command...>: prints ok or FAIL; a failure sets fail=1 and returns 1, so
# the caller may add "|| <show what went wrong>".
check() {
  local what=$1
  shift
  if "$@" >/dev/null; then
    echo "ok: $what"
  else
    echo "FAIL: $what"
    fail=1
    return 1
  fi
}

# in_segment <script arguments...>: unless the script already runs on one, runs it again in the
# program namespace of a fresh virtual segment without devices. The window opens the adapters
# when it starts and sends discovery: there it only ever sees the segment's veth. Needs $src.
in_segment() {
  [ -n "${IPS_SEGMENT_IF:-}" ] && return 0
  need_netns "needs root for a network namespace"
  "$src/scripts/segment.sh" --quiet --no-devsim -- bash "$0" "$@"
  exit $?
}

# private_module <folder>: a module folder of the test's own (the GUI executable, skin,
# catalogs, config without SystemSetting.ini, tools, an empty download folder), so a test never
# changes the settings or downloads of $bin.
private_module() {
  local dest=$1 dir
  mkdir -p "$dest/Download/Rom"
  cp "$bin/ipscanner" "$dest/ipscanner"
  for dir in skin Language config Tools Tools-Install; do
    [ -d "$bin/$dir" ] && cp -r "$bin/$dir" "$dest/"
  done
  rm -f "$dest/config/SystemSetting.ini"
}

# our_instances: the pids of $exe that this test started (found by executable and by the
# runtime folder app_work gave them), so a test never touches another test's program. One find
# over every process's executable link: a readlink per process costs a fork each, which on a
# busy machine adds up to many seconds.
our_instances() {
  local link d
  for link in $(find /proc/[0-9]*/exe -maxdepth 0 -lname "$exe" 2>/dev/null); do
    d=${link%/exe}
    tr '\0' '\n' < "$d/environ" 2>/dev/null | grep -qxF "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" && echo "${d#/proc/}"
  done
}

# app_work: the work folder, a module folder of its own as $bin with the program as $exe, and
# a runtime folder of its own ($run holds the instance lock and socket); the window runs
# offscreen.
app_work() {
  make_work
  private_module "$work/mod"
  bin=$work/mod
  exe=$bin/ipscanner
  export XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  run=$XDG_RUNTIME_DIR/ipscanner
}

# web_server_of <pid>: the pid of the web server child of program <pid> (none: fails).
web_server_of() { pgrep -P "$1" -x nginx | head -n 1 | grep .; }
# web_folder_of <server pid>: the folder that server works from, with Download/Rom/ and
# Tools/nginx/ below it: the module folder, or under root the program's private run-time folder.
web_folder_of() {
  local prefix
  prefix=$(tr '\0' '\n' <"/proc/$1/cmdline" 2>/dev/null | sed -n '/^-p$/{n;p;q}')
  [ -n "$prefix" ] && echo "${prefix%/Tools/nginx/}"
}

# A MAC as the main window shows it (upper case with colons), for jq programs that build the
# rows the window should list: put this definition in front of the program and pipe a MAC
# through display_mac. A text that is no MAC stays as it is.
jq_display_mac='def display_mac: if test("^[0-9A-Fa-f]{2}([:-]?[0-9A-Fa-f]{2}){5}$") then (gsub("[:-]"; "") | ascii_upcase | [scan("..")] | join(":")) else . end; '
