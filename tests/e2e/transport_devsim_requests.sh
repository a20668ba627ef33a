#!/usr/bin/env bash
# Every request the program sends to one device, through its own transport and facade, against
# devsim: authenticate (right and wrong password), configuration report, configuration update
# (applied, and refused when invalid), reboot and factory reset with their boot-up messages,
# firmware upgrade over HTTP (image served, and missing). The device's key is its MAC text,
# its frames come from a differing work MAC, it answers in the prefixed envelope.
# Usage: transport_devsim_requests.sh <module_dir> <source_dir>; exit 77 = skipped.
set -u
bin=$1 src=$2
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
need_netns
need_built devsim netprobe
make_work

cat > "$work/steps.sh" <<'STEPS'
set -u
bin=$1 state=$2
fail=0
# Device 0: MAC text 021A2B000001, work MAC 06:1A:2B:00:00:01, address 10.213.1.100.
req() {  # ip listen-ms args...
  local ip=$1 listen=$2; shift 2
  "$bin/netprobe" --interface "$IPS_SEGMENT_IF" --listen-ms "$listen" request --key 021A2B000001 \
    --ip "$ip" --work-mac 061A2B000001 --prefixed 1 "$@" 2>&1
}
expect() {  # name output pattern...
  local name=$1 out=$2; shift 2
  for pattern in "$@"; do
    if ! grep -qF -- "$pattern" <<<"$out"; then
      echo "FAIL: $name: no $pattern in:"; echo "$out"; fail=1; return
    fi
  done
  echo "ok: $name"
}
refuse() {  # name output pattern
  if grep -qF -- "$3" <<<"$2"; then echo "FAIL: $1: unexpected $3"; echo "$2"; fail=1; else echo "ok: $1"; fi
}
uuid='"uuid":"netprobe0123456789abcdefghijklmn"'
old=10.213.1.100 new=10.213.7.7
status="--item Config.Network.WLAN.Type --item Config.Status.IP --item Config.Status.Netmask"

out=$(req $old 300 --type authenticate --user admin --password s3cret)
expect "authenticate accepted, UUID echoed" "$out" '"id":412' '"result":0' "$uuid" '"frameMac":"061A2B000001"'
out=$(req $old 300 --type authenticate --user admin --password wrong)
expect "authenticate refused" "$out" '"result":-1' "$uuid"

out=$(req $old 300 --type requestconfig $status --item Config.Unknown.Path)
expect "configuration report of the asked items" "$out" '"id":259' \
  '"items":["Config.Network.WLAN.Type=0","Config.Status.IP=10.213.1.100","Config.Status.Netmask=255.255.0.0"]'

out=$(req $old 300 --type updateconfig --item Config.Network.WLAN.Type=2 --item Config.Network.WLAN.StaticIP=999.1.1.1 \
  --item Config.Network.WLAN.SubnetMask=255.255.0.0)
expect "invalid update refused" "$out" '"id":257' '"result":"Failed"'

out=$(req $old 300 --type updateconfig --item Config.Network.WLAN.Type=2 --item Config.Network.WLAN.StaticIP=$new \
  --item Config.Network.WLAN.SubnetMask=255.255.0.0 --item Config.Network.WLAN.DefaultGateway=10.213.0.254 \
  --item Config.Network.WLAN.PrimaryDNS=10.213.0.253 --item Config.Network.WLAN.SecondaryDNS=)
expect "update acknowledged OK from the old address" "$out" '"id":257' '"result":"OK"' "\"from\":\"$old\""
expect "state file shows the static address" "$(cat "$state")" "\"ip\": \"$new\""
out=$(req $new 300 --type requestconfig $status)
expect "device answers on its new address" "$out" '"Config.Network.WLAN.Type=2"' "\"Config.Status.IP=$new\""
out=$(req $old 300 --type requestconfig $status)
refuse "device no longer answers on the old address" "$out" '"id":259'

out=$(req $new 900 --type reboot)
expect "reboot acknowledged, boot-up follows" "$out" '"id":257' '"result":"OK"' '"id":260'

out=$(req $new 900 --type upgrade --version 12.99.1.1 --serve-image 4096)
expect "upgrade image downloaded, boot-up follows" "$out" '"downloads":1' '"id":260'
expect "firmware is the offered version" "$(cat "$state")" '"firmware": "12.99.1.1"'
out=$(req $new 900 --type upgrade --version 12.99.2.2 --serve-image 0)
refuse "missing image: no reboot" "$out" '"id":260'
refuse "missing image: firmware kept" "$(cat "$state")" '"firmware": "12.99.2.2"'

out=$(req $new 900 --type reset)
expect "factory reset acknowledged, boot-up follows" "$out" '"result":"OK"' '"id":260'
out=$(req $old 300 --type requestconfig $status)
expect "after the reset: DHCP and its first address" "$out" '"Config.Network.WLAN.Type=0"' "\"Config.Status.IP=$old\""
exit $fail
STEPS

"$src/scripts/segment.sh" --quiet --devsim-bin "$bin/devsim" \
  --devsim "--count 3 --mac-forms upper --workmac-differ-share 1 --envelope prefixed --static-share 0 --password s3cret --reboot-ms 300 --state-file $work/state.json" \
  -- bash "$work/steps.sh" "$bin" "$work/state.json"
