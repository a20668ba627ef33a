#!/bin/sh
# Run by the program when no network adapter can be opened for packet capture.
# It makes sure the capture library is present and gives the program's executable the rights
# to capture and inject frames (and to bind the log channel's low ports) without running as
# root. Run it as root; as another user it only says what to do. It never asks questions.
here=$(cd "$(dirname "$0")" && pwd)
module=$(dirname "$here")
exe="$module/ipscanner"
caps="cap_net_raw,cap_net_admin,cap_net_bind_service+eip"

have_libpcap() {
  ldconfig -p 2>/dev/null | grep -q 'libpcap\.so'
}

if [ "$(id -u)" -ne 0 ]; then
  echo "Packet capture needs the libpcap library and capture rights for $exe."
  echo "As root, run:"
  echo "  apt-get install -y libpcap0.8 libcap2-bin"
  echo "  setcap $caps $exe"
  echo "or run this script as root: sudo $0"
  exit 0
fi

if ! have_libpcap; then
  echo "Installing the packet-capture library (libpcap0.8)..."
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q libpcap0.8 >/dev/null 2>&1 \
    || echo "Could not install libpcap0.8; install it with your package manager."
fi
if ! command -v setcap >/dev/null 2>&1; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q libcap2-bin >/dev/null 2>&1
fi
if [ -x "$exe" ] && command -v setcap >/dev/null 2>&1 && setcap "$caps" "$exe"; then
  echo "Capture rights granted to $exe. Start the program again."
else
  echo "Could not grant capture rights to $exe; run the program as root instead."
fi
exit 0
