#!/usr/bin/env python3
"""Prints the device-answer fixture frame of udp_frame_test.cpp as a C array.

A 14-byte datagram from 02:1A:2B:3C:4D:5E / 10.213.1.7:8500 to 10.213.0.1:8505, valid IPv4 and
UDP checksums, padded with zeros to the 60-byte Ethernet minimum."""
import struct


def csum(data):
    if len(data) % 2:
        data += b"\0"
    s = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while s >> 16:
        s = (s >> 16) + (s & 0xFFFF)
    return ~s & 0xFFFF


payload = bytes.fromhex("bcde00002111000a0004") + b"abcd"
src, dst = bytes([10, 213, 1, 7]), bytes([10, 213, 0, 1])
udp = struct.pack("!HHHH", 8500, 8505, 8 + len(payload), 0) + payload
pseudo = src + dst + bytes([0, 17]) + struct.pack("!H", len(udp))
udp = udp[:6] + struct.pack("!H", csum(pseudo + udp)) + udp[8:]
ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 0x1234, 0, 64, 17, 0, src, dst)
ip = ip[:10] + struct.pack("!H", csum(ip)) + ip[12:]
frame = bytes.fromhex("d6ccb207eb6d") + bytes.fromhex("021a2b3c4d5e") + b"\x08\x00" + ip + udp
frame += bytes(60 - len(frame))
for i in range(0, len(frame), 12):
    print("    " + ", ".join("0x%02x" % b for b in frame[i:i + 12]) + ",")
