#!/usr/bin/env python3
"""Writes capture_document_ends_in_utf8_lead_byte.pcap: one discovery answer (plain payload,
mode 1) whose document declares UTF-8 and ends in a UTF-8 lead byte."""
import struct

doc = (b'<?xml version="1.0" encoding="UTF-8"?><Msg><Type>DiscoverAck</Type>'
       b'<Params><IP>10.213.1.100</IP><MAC>02:1A:2B:00:00:01</MAC><FW>1\xf4')
header = b'\xbc\xde\x00\x00' + struct.pack('<H', 0x121 | 1 << 11) + struct.pack('>HH', 10, len(doc))
datagram = header + doc
udp = struct.pack('>HHHH', 8500, 8505, 8 + len(datagram), 0) + datagram
ip = struct.pack('>BBHHHBBH4s4s', 0x45, 0, 20 + len(udp), 1, 0, 64, 17, 0,
                 bytes([10, 213, 1, 100]), bytes([10, 213, 0, 1])) + udp
eth = bytes.fromhex('d6ccb207eb6d' '021a2b000001' '0800') + ip
with open('capture_document_ends_in_utf8_lead_byte.pcap', 'wb') as f:
    f.write(struct.pack('<IHHiIII', 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1))
    f.write(struct.pack('<IIII', 1, 0, len(eth), len(eth)) + eth)
