#!/usr/bin/env bash
# Least privilege, as a normal user on a virtual segment of 20 simulated devices, with a module
# folder of the test's own whose capture helper is root:<group> 0750 with cap_net_raw (as the
# package installs it):
# - the helper is the only file with a capability;
# - a member of the group lists the 20 devices with ipscanner-cli scan, through the helper;
# - a user outside the group gets the message naming the group and exit 3;
# - the window, started by the member with QT_PLUGIN_PATH pointing to a plugin of theirs, runs
#   with CapEff 0 (the plugin records it from inside), receives the devices through its helper,
#   whose capabilities are dropped too, and its log lines reach 127.0.0.1:106.
# The users and the group are created here and removed at the end. They read nothing from the
# build or source tree (which may lie below a folder only root may enter): the module folder and
# the plugin are copies in the test's own folder, and they run from there.
# Usage: capture_helper_privileges.sh <module_dir> <source_dir>; exit 77 = skipped.
set -u
bin=$(realpath "$1") src=$(realpath "$2")
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns
need_built ipscanner ipscanner-cli ipscanner-capture devsim logview
need_tools runuser useradd userdel groupadd groupdel setcap getcap
plugins=$(dirname "$bin")/tests/capprobe/plugins
[ -f "$plugins/generic/libcapprobe.so" ] || skip "the test plugin capprobe is not built"
make_work ips-e2e-caphelper
chmod 755 "$work"
fail=0

group="ipscap$$" member="ipscapm$$" outsider="ipscapo$$"
made=""
at_exit() {
  local u pid
  for u in $member $outsider; do
    case " $made " in *" $u "*)
      for pid in $(pgrep -u "$u"); do kill -KILL "$pid" 2>/dev/null; done
      userdel -r "$u" >/dev/null 2>&1 ;;
    esac
  done
  case " $made " in *" $group "*) groupdel "$group" >/dev/null 2>&1 ;; esac
}
groupadd "$group" && made="$group" || fail "cannot create group $group"
useradd -m -s /bin/bash -G "$group" "$member" && made="$made $member" || fail "cannot create $member"
useradd -m -s /bin/bash "$outsider" && made="$made $outsider" || fail "cannot create $outsider"

# The member's own copy of the plugin, in a folder the member may read.
cp -r "$plugins" "$work/plugins" && chown -R "$member" "$work/plugins" &&
  chmod -R a+rX "$work/plugins" || fail "cannot copy the test plugin"
plugins=$work/plugins

# The module folder: read-only for the users, so they write into their own folders.
mod=$work/mod
mkdir -p "$mod"
for exe in ipscanner ipscanner-cli ipscanner-capture; do cp "$bin/$exe" "$mod/"; done
for dir in skin Language config Tools Tools-Install; do cp -r "$bin/$dir" "$mod/"; done
rm -f "$mod/config/SystemSetting.ini"
touch "$mod/read-only"
chmod -R a+rX "$mod"
chown "root:$group" "$mod/ipscanner-capture" && chmod 0750 "$mod/ipscanner-capture" &&
  setcap cap_net_raw+ep "$mod/ipscanner-capture" || fail "cannot set up the capture helper"
caps=$(getcap -r "$mod" | sed "s|$mod/||")
check "only the capture helper carries a capability ($caps)" \
  test "$caps" = "ipscanner-capture cap_net_raw=ep"

cat >"$work/as_users.sh" <<'INNER'
set -u
cd "$work"  # not the build tree's folder, which the users may not enter
fail=0
say() { if [ "$1" = ok ]; then echo "ok: $2"; else echo "FAIL: $2"; fail=1; fi; }
as() { local u=$1; shift; runuser -u "$u" -- env -u XDG_RUNTIME_DIR -u XDG_CONFIG_HOME -u XDG_CACHE_HOME -u XDG_DATA_HOME "$@"; }

# Every log line, from any of the programs, as root on the viewer's port.
"$bin/logview" --port 106 --timeout 40 >"$work/logview.out" 2>&1 &
logview=$!
sleep 0.3

as "$member" "$mod/ipscanner-cli" scan --interface "$IPS_SEGMENT_IF" --seconds 8 --expect 20 --json \
  >"$work/member.json" 2>"$work/member.err"
rc=$?
n=$(grep -o '"mac"' "$work/member.json" | wc -l)
summary=$(grep '"summary"' "$work/member.err")
if [ $rc -eq 0 ] && [ "$n" -eq 20 ] && grep -q '"captureDrops":0' <<<"$summary"; then
  say ok "a member of $group lists the 20 devices through the helper: $summary"
else
  say FAIL "member scan: exit $rc, $n devices: $(cat "$work/member.err")"
fi

as "$outsider" "$mod/ipscanner-cli" scan --interface "$IPS_SEGMENT_IF" --seconds 2 \
  >"$work/outsider.out" 2>"$work/outsider.err"
rc=$?
if [ $rc -eq 3 ] && grep -q "group $group" "$work/outsider.err" &&
   grep -q "usermod -aG $group" "$work/outsider.err" && ! grep -qi npcap "$work/outsider.err"; then
  say ok "a user outside the group is told to join $group (exit 3)"
else
  say FAIL "outsider: exit $rc: $(cat "$work/outsider.err")"
fi

# The window with the member's own plugin on QT_PLUGIN_PATH.
probe=$work/capprobe.out
touch "$probe" && chown "$member" "$probe"
runuser -u "$member" -- env -u XDG_RUNTIME_DIR QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH="$plugins" \
  QT_QPA_GENERIC_PLUGINS=capprobe CAPPROBE_OUT="$probe" "$mod/ipscanner" >"$work/gui.log" 2>&1 &
runner=$!
gui=""
helper=""
for _ in $(seq 1 200); do
  gui=$(pgrep -P "$runner" -u "$member" | head -1)
  [ -n "$gui" ] && helper=$(pgrep -P "$gui" -f "^$mod/ipscanner-capture" | head -1)
  [ -n "$helper" ] && grep -q CapEff "$probe" && break
  sleep 0.1
done
capeff() { sed -n 's/^CapEff:[[:space:]]*//p' "/proc/$1/status"; }
if [ -n "$gui" ] && [ "$(capeff "$gui")" = 0000000000000000 ] &&
   grep -q "^CapEff:[[:space:]]*0000000000000000" "$probe"; then
  say ok "the window runs with CapEff 0, and so does the plugin loaded from QT_PLUGIN_PATH"
else
  say FAIL "window capabilities: pid '$gui' CapEff '$( [ -n "$gui" ] && capeff "$gui")', plugin saw '$(cat "$probe")'"
fi
if [ -n "$helper" ] && [ "$(capeff "$helper")" = 0000000000000000 ] &&
   [ "$(stat -c %U "/proc/$helper")" = "$member" ]; then
  say ok "the window's capture helper runs as $member and has dropped its capabilities"
else
  say FAIL "no capture helper under the window, or it kept capabilities ('$helper')"
fi
# The window discovers at start: its log lines show the devices' answers coming in.
got=0
for _ in $(seq 1 100); do
  got=$(grep -c "Recv Multicast/UDP from" "$work/logview.out")
  [ "$got" -ge 20 ] && break
  sleep 0.1
done
if [ "$got" -ge 20 ]; then
  say ok "the window receives the devices' answers through the helper; its log reaches port 106"
else
  say FAIL "the window's log shows $got answers: $(tail -5 "$work/gui.log")"
fi
[ -n "$gui" ] && kill -TERM "$gui"
wait "$runner"
[ -n "$helper" ] && for _ in $(seq 1 50); do kill -0 "$helper" 2>/dev/null || break; sleep 0.1; done
if [ -n "$helper" ] && kill -0 "$helper" 2>/dev/null; then
  say FAIL "the capture helper outlived the window"
else
  say ok "the capture helper ended with the window"
fi
kill "$logview" 2>/dev/null
exit $fail
INNER
bin=$bin mod=$mod work=$work plugins=$plugins member=$member outsider=$outsider group=$group \
  IPS_DEVSIM="$bin/devsim" "$src/scripts/segment.sh" --quiet --devsim "--count 20 --seed 5" -- \
  bash "$work/as_users.sh" || fail=1
exit $fail
