#!/bin/sh
# Run by the program when no network adapter can be opened for packet capture.
# It makes sure the capture library is present and that the capture helper beside the program
# may capture: the helper alone carries cap_net_raw and only the group ipscanner may run it.
# Run it as root; as another user it only says what to do. It never asks questions.
here=$(cd "$(dirname "$0")" && pwd)
module=$(dirname "$here")
helper="$module/ipscanner-capture"
group=ipscanner

have_libpcap() {
  ldconfig -p 2>/dev/null | grep -q 'libpcap\.so'
}

if [ "$(id -u)" -ne 0 ]; then
  echo "Packet capture needs the libpcap library, and membership in the group $group."
  echo "As root, run:"
  echo "  apt-get install -y libpcap0.8 libcap2-bin"
  echo "  sudo $0"
  echo "  sudo usermod -aG $group \$USER   (then log in again)"
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
getent group "$group" >/dev/null || groupadd --system "$group"
if [ -x "$helper" ] && chown root:"$group" "$helper" && chmod 0750 "$helper" &&
  command -v setcap >/dev/null 2>&1 && setcap cap_net_raw+ep "$helper"; then
  echo "Capture rights granted to $helper for the group $group."
  echo "Add users with: usermod -aG $group USER (they log in again), then start the program."
else
  echo "Could not grant capture rights to $helper; run the program as root instead."
fi
exit 0
