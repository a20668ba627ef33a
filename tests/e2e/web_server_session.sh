#!/usr/bin/env bash
# The web server keeps nothing of the run that started it. Root runs `ipscanner-cli upgrade` on
# a pseudo-terminal (as from an installer's shell) with a secret in its environment; its nginx
# child then
# - runs as the system user ipscanner-web,
# - leads a session of its own and has no controlling terminal (tty_nr 0), and no descriptor
#   on a terminal, so it has nothing to push input into with TIOCSTI,
# - has only the environment the program builds (PATH), none of root's variables.
# (The TIOCSTI itself, from a child started the same way, is tried in unit.platform's
# ChildProcessSession test.)
# Without the account ipscanner-web (hidden from a run in a mount namespace of its own) a root
# run starts no web server: upgrade says why and exits 4.
# Usage: web_server_session.sh <module folder> <source folder>; exit 77 = skipped.
set -u
bin=$(realpath "${1:?module folder}")
src=$(realpath "${2:?source folder}")
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_root
need_built ipscanner-cli
[ -x /usr/sbin/nginx ] || skip "nginx is not installed"
need_tools script unshare mount
getent passwd ipscanner-web >/dev/null || skip "no system user ipscanner-web (scripts/setup.sh creates it)"
in_segment "$bin" "$src"
make_work ips-e2e-websession
runner=""
at_exit() { [ -n "$runner" ] && kill "$runner" 2>/dev/null; }
fail=0

head -c 100000 /dev/urandom >"$work/105.40.1.1.rom"
secret="secret-$$-$RANDOM"
upgrade=("$bin/ipscanner-cli" upgrade --image "$work/105.40.1.1.rom" --all --seconds 8
         --interface "$IPS_SEGMENT_IF")

# script gives the command a pseudo-terminal as its controlling terminal and standard
# descriptors, in a session of its own.
IPS_E2E_SECRET=$secret SHELL=/bin/sh script -qec "$(printf '%q ' "${upgrade[@]}")" /dev/null \
  >"$work/upgrade.log" 2>&1 &
runner=$!

# The command is the ipscanner-cli with the secret in its environment; its server is its nginx child.
ours() {
  local link d
  for link in $(find /proc/[0-9]*/exe -maxdepth 0 -lname "$bin/ipscanner-cli" 2>/dev/null); do
    d=${link%/exe}
    tr '\0' '\n' <"$d/environ" 2>/dev/null | grep -qxF "IPS_E2E_SECRET=$secret" && echo "${d#/proc/}"
  done
}
cli="" server=""
found() { cli=$(ours | head -1) && [ -n "$cli" ] && server=$(web_server_of "$cli"); }
wait_for 10 found || fail "no web server child of ipscanner-cli upgrade: $(cat "$work/upgrade.log")"

stat_field() { sed 's/.*) //' "/proc/$1/stat" | cut -d' ' -f$(($2 - 2)); }  # fields 3.. after comm
cli_tty=$(stat_field "$cli" 7)
[ "$cli_tty" != 0 ] || fail "the command has no terminal: the test would show nothing"
echo "ipscanner-cli $cli: session $(stat_field "$cli" 6), tty_nr $cli_tty"
echo "nginx $server: session $(stat_field "$server" 6), tty_nr $(stat_field "$server" 7)"

check "nginx runs as ipscanner-web" \
  test "$(awk '/^Uid:/ {print $2 "/" $3 "/" $4 "/" $5}' "/proc/$server/status")" = \
  "$(id -u ipscanner-web)/$(id -u ipscanner-web)/$(id -u ipscanner-web)/$(id -u ipscanner-web)"
check "nginx leads a session of its own" test "$(stat_field "$server" 6)" = "$server"
check "nginx has no controlling terminal (tty_nr 0)" test "$(stat_field "$server" 7)" = 0
terminals=$(find "/proc/$server/fd" -lname '/dev/pts/*' -o -lname '/dev/tty*' 2>/dev/null)
check "no descriptor of nginx is a terminal" test -z "$terminals" || echo "  $terminals"
environment=$(tr '\0' '\n' <"/proc/$server/environ")
check "nginx's environment is only PATH ($(tr '\n' ' ' <<<"$environment" | cut -c1-160))" \
  test "$environment" = "PATH=/usr/sbin:/usr/bin:/sbin:/bin"
check "the caller's secret is not in it" eval '! grep -qF "$secret" "/proc/$server/environ"'
wait "$runner"
runner=""

# No account ipscanner-web: the server does not start, and the command says why. The account
# is hidden only from this one run (its own mount namespace sees another /etc/passwd).
grep -v '^ipscanner-web:' /etc/passwd >"$work/passwd"
unshare --mount --propagation private -- sh -c 'mount --bind "$1" /etc/passwd && shift && exec "$@"' \
  sh "$work/passwd" "${upgrade[@]}" >"$work/no-account.out" 2>"$work/no-account.err"
rc=$?
check "without ipscanner-web, upgrade exits 4 and names the missing account" \
  eval '[ $rc -eq 4 ] && grep -q "ipscanner-web does not exist" "$work/no-account.err"' ||
  echo "  exit $rc: $(cat "$work/no-account.err")"
exit $fail
