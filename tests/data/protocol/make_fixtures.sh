#!/bin/bash
# Regenerates the reply fixtures in this folder. Plain documents are written as devices send them
# (TAB indent, CR LF); encrypted ones are zero-padded to whole AES blocks and encrypted with the
# openssl command line (no PKCS#7 padding). Run from anywhere: bash make_fixtures.sh
set -euo pipefail
cd "$(dirname "$0")"

# Key of a key text: text + salt, cut to 32 bytes, upper-cased, as hex.
key_hex() {
  local text="$1Hwalbe27381946Hwalbe"
  text="${text:0:32}"
  printf '%s' "${text^^}" | od -An -tx1 | tr -d ' \n'
}

zero_pad() {   # file -> file.padded, zero bytes up to the next multiple of 16
  local size pad
  size=$(stat -c %s "$1")
  pad=$(( (16 - size % 16) % 16 ))
  { cat "$1"; head -c "$pad" /dev/zero; } > "$1.padded"
}

doc() { printf '%s\r\n' "$@"; }

# A complete discovery answer.
doc '<Msg>' $'\t<Type>DiscoverAck</Type>' $'\t<Protocal>2.0</Protocal>' $'\t<Params>' \
    $'\t\t<Type>Door</Type>' $'\t\t<DeviceID>1-1-101</DeviceID>' $'\t\t<Extension>-1</Extension>' \
    $'\t\t<IP>192.0.2.10</IP>' $'\t\t<FW>V2.1.7</FW>' $'\t\t<Flag>5</Flag>' \
    $'\t\t<DeviceName>Hall door</DeviceName>' $'\t\t<RTSP>rtsp://192.0.2.10/main</RTSP>' \
    $'\t\t<MsgSeq>0000000042</MsgSeq>' $'\t\t<DeviceCode>7</DeviceCode>' \
    $'\t\t<DiscoverMethod>M</DiscoverMethod>' $'\t\t<MAC>02:1a:2b:3c:4d:5e</MAC>' \
    $'\t\t<WorkMAC>02:1A:2B:3C:4D:5F</WorkMAC>' $'\t\t<Model>DS-100</Model>' \
    $'\t</Params>' '</Msg>' > discover_ack.xml

# The same answer in the bare envelope under the discovery identifier's key.
zero_pad discover_ack.xml
openssl enc -aes-256-cbc -nopad -K "$(key_hex 02A7C40000FF)" -iv 00000000000000000000000000000000 \
  -in discover_ack.xml.padded -out discover_ack_bare.bin
rm discover_ack.xml.padded

# A configuration report with 40 items, other elements mixed in among them.
{
  doc '<Msg>' $'\t<Type>ReportConfig</Type>' $'\t<Protocal>2.0</Protocal>' $'\t<Params>'
  for i in $(seq 0 39); do
    doc $'\t\t<Item>Config.Test.Value'"$i"'='"$i"'</Item>'
    if [ "$i" = 1 ]; then doc $'\t\t<Note>not an item</Note>'; fi
  done
  doc $'\t</Params>' '</Msg>'
} > report_config_40_items.xml

# Malformed replies, named for what is wrong.
doc '<msg>' $'\t<Protocal>2.0</Protocal>' '</msg>' > reply_root_lowercase.xml
doc '<!-- nothing but a comment -->' > reply_without_root_element.xml
doc '<Msg>' $'\t<Protocal>2.0</Protocal>' $'\t<Params>' $'\t\t<IP>192.0.2.1' '</Msg>' \
  > reply_unclosed_element.xml
doc '<Msg>' $'\t<Protocal>2.0</Protocal>' '</Msg>' > reply_without_params.xml
{
  long=$(printf 'x%.0s' $(seq 1 260))
  doc '<Msg>' $'\t<Protocal>'"$long"'</Protocal>' $'\t<Params>'
  for name in Type DeviceID Extension IP FW DeviceName RTSP Flag DiscoverMethod DeviceCode MAC \
              WorkMAC Model MsgID MsgCRC Result Info UUID Desc Item; do
    doc $'\t\t<'"$name"'>'"$long"'</'"$name"'>'
  done
  doc $'\t\t<MsgSeq>99999999999999999999</MsgSeq>' $'\t</Params>' '</Msg>'
} > reply_fields_longer_than_records.xml
