#!/usr/bin/env bash
# The Debian package, end to end: CPack builds it from this build tree, lintian finds no error
# in it, dpkg installs it; a normal user created for the test then runs the installed programs
# on a virtual segment with capabilities from the package instead of root: the CLI lists the
# devsim fleet, the window (offscreen) writes its settings into the user's config folder and
# serves a file from the user's download folder on 8088. Purging the package leaves nothing
# in the installed tree, and the test removes the user: the machine is left as it was.
# Usage: package_install.sh <module folder> <source folder>
set -uo pipefail
bin=$(realpath "${1:?module folder}")
src=$(realpath "${2:?source folder}")
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
build=$(dirname "$bin")
[ -f "$build/CPackConfig.cmake" ] || skip "$build has no package configuration (no GUI or tools)"
need_built ipscanner ipscanner-cli logview devsim
need_tools cpack dpkg-deb lintian
make_work ips-e2e-package
module=/usr/lib/ipscanner
fleet=20

# Build the package and check it.
cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 || fail "cpack failed"
deb=$(ls "$work"/pkg/ipscanner_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "cpack made no .deb"
version=$("$bin/ipscanner-cli" --version | cut -d' ' -f2)
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
dpkg-deb -f "$deb" Depends | grep -q "nginx" || fail "package does not depend on nginx"
dpkg-deb -c "$deb" | grep -Eq '/(devsim|bench_|unit_|ui_)' && fail "devsim or test tools are in the package"
lintian --no-cfg "$deb" >"$work/lintian.log" 2>&1
if grep -q '^E:' "$work/lintian.log"; then
  grep '^E:' "$work/lintian.log"; fail "lintian reports errors"
fi
echo "ok: $(basename "$deb") built, lintian reports no errors"

# Installing needs root, a namespace and a machine without the package.
need_netns "installing the package needs root"
need_tools runuser useradd userdel getcap curl
[ -x /usr/sbin/nginx ] || skip "nginx is not installed"
dpkg-query -W -f='${db:Status-Status}' ipscanner 2>/dev/null | grep -q . &&
  skip "an ipscanner package is already on this machine"

user="ipspkg$$"
outsider="ipspko$$"
installed=0
made_users=""
had_group=0
getent group ipscanner >/dev/null && had_group=1
at_exit() {
  local pid u
  for u in $made_users; do
    for pid in $(pgrep -u "$u"); do kill -KILL "$pid" 2>/dev/null; done
    userdel -r "$u" >/dev/null 2>&1
  done
  [ $installed = 1 ] && dpkg --purge ipscanner >/dev/null 2>&1
  [ $had_group = 0 ] && groupdel ipscanner >/dev/null 2>&1
}

installed=1  # a failed install may leave the package half-configured: purge it all the same
dpkg -i "$deb" >"$work/dpkg-install.log" 2>&1 || fail "dpkg -i failed"
[ "$(/usr/bin/ipscanner-cli --version)" = "ipscanner-cli $version" ] || fail "ipscanner-cli --version"
[ "$(/usr/bin/ipscanner --version)" = "ipscanner $version" ] || fail "ipscanner --version"
# Every installed file with a capability: the helper and logview, each with exactly one.
dpkg -L ipscanner | while read -r f; do [ -f "$f" ] && [ ! -L "$f" ] && echo "$f"; done |
  xargs getcap | sort >"$work/getcap.txt"
expected_caps="$module/ipscanner-capture cap_net_raw=ep
$module/logview cap_net_bind_service=ep"
[ "$(cat "$work/getcap.txt")" = "$expected_caps" ] || fail "capabilities: $(cat "$work/getcap.txt")"
getcap -r /usr/lib/ipscanner | sed 's/^/  getcap: /'
[ "$(stat -c '%U:%G %a' "$module/ipscanner-capture")" = "root:ipscanner 750" ] ||
  fail "capture helper is $(stat -c '%U:%G %a' "$module/ipscanner-capture"), not root:ipscanner 750"
[ "$(stat -c '%U:%G %a' "$module/logview")" = "root:ipscanner 750" ] ||
  fail "logview is $(stat -c '%U:%G %a' "$module/logview"), not root:ipscanner 750"
echo "ok: installed; --version prints $version; only the capture helper and logview (both root:ipscanner 0750) carry a capability"
# Run as root, the programs start their web server as this account: in no group but its own.
[ "$(id -Gn ipscanner-web 2>&1)" = ipscanner-web ] ||
  fail "the web server's account ipscanner-web: $(id ipscanner-web 2>&1)"
echo "ok: the web server's system account ipscanner-web exists, in no other group"

useradd -m -s /bin/bash -G ipscanner "$user" || fail "cannot create user $user"
made_users=$user
useradd -m -s /bin/bash "$outsider" || fail "cannot create user $outsider"
made_users="$user $outsider"
home=$(getent passwd "$user" | cut -d: -f6)

# The user's part, inside the program namespace of a segment with a devsim fleet.
cat >"$work/as_user.sh" <<'EOF'
set -u
# runuser sets HOME and passes a signal on to the program; the user's XDG folders are defaults.
clean_env=(env -u XDG_RUNTIME_DIR -u XDG_CONFIG_HOME -u XDG_CACHE_HOME)
as_user() { runuser -u "$user" -- "${clean_env[@]}" "$@"; }
poll() { local i; for ((i = 0; i < 200; i++)); do "$@" && return 0; sleep 0.05; done; return 1; }
bad() { echo "FAIL: $*"; exit 1; }

start_gui() {  # <log name>: the window, offscreen, as the user
  runuser -u "$user" -- "${clean_env[@]}" QT_QPA_PLATFORM=offscreen ipscanner >"$work/$1.log" 2>&1 &
  gui=$!
}
stop_gui() {  # SIGTERM to the program itself: runuser would give it two seconds before SIGKILL
  local app
  poll pgrep -P "$gui" -u "$user" >/dev/null || bad "the window is not running as $user"
  app=$(pgrep -P "$gui" -u "$user")
  kill -TERM "$app"; wait "$gui" || bad "the window exited $? on SIGTERM"
}

# The window: its settings and download folder are the user's own.
start_gui gui
poll test -f "$home/.config/ipscanner/SystemSetting.ini" || bad "no settings in $home/.config/ipscanner"
[ "$(stat -c %U "$home/.config/ipscanner/SystemSetting.ini")" = "$user" ] || bad "settings file not the user's"
test -f "$home/.config/ipscanner/ModelName.ini" || bad "model catalog not seeded"
rom="$home/.cache/ipscanner/Download/Rom"
poll test -d "$rom" || bad "no download folder $rom"
as_user sh -c "echo 'image for $user' > '$rom/pkg-test.rom'" || bad "user cannot write $rom"
served() { [ "$(curl -s -m 2 http://127.0.0.1:8088/download/rom/pkg-test.rom)" = "image for $user" ]; }
poll served || bad "the web server does not serve the user's download folder on 8088"
test -f "$home/.cache/ipscanner/Tools/nginx/logs/nginx.pid" || bad "web server pid file not in the user's cache"
echo "ok: the window writes its settings to ~/.config/ipscanner and serves ~/.cache/ipscanner/Download/Rom on 8088"

# The command line lists the whole fleet.
as_user ipscanner-cli scan --interface "$IPS_SEGMENT_IF" --seconds 8 --expect "$fleet" --json \
  >"$work/scan.json" 2>"$work/scan.err" || bad "scan as $user exited $? ($(cat "$work/scan.err"))"
[ "$(grep -o '"mac"' "$work/scan.json" | wc -l)" -eq "$fleet" ] || bad "scan did not list $fleet devices"
grep -q '"captureDrops":0' "$work/scan.err" || bad "scan summary: $(cat "$work/scan.err")"
echo "ok: ipscanner-cli scan as $user lists the $fleet devices through the capture helper"
runuser -u "$outsider" -- ipscanner-cli scan --interface "$IPS_SEGMENT_IF" --seconds 1 \
  >/dev/null 2>"$work/outsider.err"
rc=$?
[ $rc -eq 3 ] && grep -q "group ipscanner" "$work/outsider.err" ||
  bad "a user outside the group: exit $rc: $(cat "$work/outsider.err")"
echo "ok: a user outside the group ipscanner is told to join it (exit 3)"
as_user logview --port 106 --timeout 0.2 >"$work/logview.log" 2>&1 || bad "logview cannot bind port 106 as $user"
echo "ok: logview binds its low port as $user"
runuser -u "$outsider" -- logview --port 106 --timeout 0.2 >/dev/null 2>&1 &&
  bad "logview runs for a user outside the group ipscanner"
echo "ok: a user outside the group cannot run logview"

stop_gui
poll test ! -e "$rom/pkg-test.rom" || bad "download folder not emptied after the window closed"
echo "ok: the window closed and emptied the user's download folder"

# The next start reads the language the user's settings file names.
as_user sed -i 's/^Language=.*/Language=Deutsch/' "$home/.config/ipscanner/SystemSetting.ini"
start_gui gui-deutsch
poll grep -q "language catalog /usr/lib/ipscanner/Language/Deutsch.txt" "$work/gui-deutsch.log" ||
  bad "the window did not read the language from the user's settings"
stop_gui
echo "ok: the window reads its settings from the user's config folder"
EOF
user=$user outsider=$outsider home=$home work=$work fleet=$fleet IPS_DEVSIM="$bin/devsim" \
  "$src/scripts/segment.sh" --quiet --devsim "--count $fleet" -- bash "$work/as_user.sh" ||
  fail "the installed programs failed as a normal user"

# Nothing the program wrote is in the installed tree; purging removes all of it.
dpkg -L ipscanner >"$work/files.txt"
find "$module" -type f | grep -vxFf "$work/files.txt" >"$work/extra.txt" &&
  fail "files written into $module: $(head -3 "$work/extra.txt")"
dpkg --purge ipscanner >"$work/dpkg-purge.log" 2>&1 || fail "dpkg --purge failed"
installed=0
[ ! -e "$module" ] || fail "$module left after purge: $(find "$module" | head)"
while read -r path; do
  case "$path" in /usr/lib/ipscanner* | /usr/bin/* | */ipscanner* | */org.ipscanner.*) [ -e "$path" ] && fail "$path left after purge" ;; esac
done <"$work/files.txt"
echo "ok: purge leaves nothing of the package behind"
exit 0
