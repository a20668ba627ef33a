#!/usr/bin/env bash
# Installs every Debian 12 package the project needs (only the missing ones), then configures
# and builds into build/. Run as root on a fresh machine; fast when everything is there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  build-essential cmake ninja-build pkg-config git
  libssl-dev openssl libtinyxml-dev libpcap-dev
  qt6-base-dev qt6-tools-dev libqt6opengl6-dev libgl-dev libxkbcommon-dev qt6-qpa-plugins
  nginx-light
  libgtest-dev libgmock-dev libbenchmark-dev
  libsimpleini-dev libcli11-dev nlohmann-json3-dev
  libsqlite3-dev libsqlitecpp-dev sqlite3 libcairo2-dev poppler-utils
  xvfb xauth x11-utils imagemagick fonts-dejavu-core fonts-droid-fallback
  iproute2 libcap2-bin libcap-dev curl tcpdump procps jq ethtool bc util-linux
  qt6-translations-l10n qt6-xdgdesktopportal-platformtheme
  lintian desktop-file-utils clang-format
  libmosquitto-dev mosquitto mosquitto-clients
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages ${missing[*]}; run as root to install them" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The distribution's nginx service is not ours: the program runs its own nginx child.
if command -v systemctl >/dev/null 2>&1; then systemctl disable --now nginx >/dev/null 2>&1 || true; fi
# Likewise the distribution's broker: the agent's tests start their own.
if command -v systemctl >/dev/null 2>&1; then systemctl disable --now mosquitto >/dev/null 2>&1 || true; fi

# Run as root, the window and `upgrade` start their web server only as this system user, as
# the package does (no shared account such as nobody stands in): it owns nothing, has no shell
# and belongs to no other group.
if [ "$(id -u)" -eq 0 ] && ! getent passwd ipscanner-web >/dev/null; then
  useradd --system --user-group --no-create-home --home-dir /nonexistent \
    --shell /usr/sbin/nologin ipscanner-web
fi

[ "${IPS_SETUP_NO_BUILD:-0}" = 1 ] && exit 0

cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build"

# Capture as a normal user goes through the capture helper, as in the package: the group
# ipscanner may run it, and it alone carries cap_net_raw. (Join with: usermod -aG ipscanner USER)
# logview likewise: the group may run it, with cap_net_bind_service for its port 106.
getent group ipscanner >/dev/null || groupadd --system ipscanner
helper="$root/build/bin/ipscanner-capture"
if [ -x "$helper" ]; then
  chown root:ipscanner "$helper" && chmod 0750 "$helper"
  setcap cap_net_raw+ep "$helper" 2>/dev/null || true
fi
logview="$root/build/bin/logview"
if [ -x "$logview" ]; then
  chown root:ipscanner "$logview" && chmod 0750 "$logview"
  setcap cap_net_bind_service+ep "$logview" 2>/dev/null || true
fi
exit 0
