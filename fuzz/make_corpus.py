#!/usr/bin/env python3
"""Writes the seed corpora: valid answers of every form (and a few refusals)
laid out as each fuzz target reads its input. Run from anywhere; rewrites
fuzz/corpus/."""
import os, shutil, struct

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, 'corpus')
STX, ETX, ENQ, ACK, NAK = 2, 3, 5, 6, 0x15

def put(target, name, data):
    d = os.path.join(out, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), 'wb') as f:
        f.write(bytes(data))

def hex2(v):
    return b'%02X' % (v & 0xFF)

shutil.rmtree(out, ignore_errors=True)

# Kelvaro: read answer STX, 2N digits, ETX, sum of digits and ETX.
for n in (1, 2, 4, 8, 64):
    digits = b''.join(hex2(i * 37 + 5) for i in range(n))
    body = digits + bytes([ETX])
    put('fuzz_kelvaro_read', 'n%d' % n, [n] + list(bytes([STX]) + body + hex2(sum(body))))
put('fuzz_kelvaro_read', 'nak', [2, NAK])
put('fuzz_kelvaro_write', 'ack', [ACK])
put('fuzz_kelvaro_write', 'nak', [NAK])

# Lunetta: WR answer STX, station, "FF", 4 digits a word, ETX, sum over station..ETX.
for station, words in ((0, 1), (1, 2), (0x1F, 8), (0, 64)):
    data = b''.join(b'%04X' % ((w * 4099 + 17) & 0xFFFF) for w in range(words))
    body = hex2(station) + b'FF' + data + bytes([ETX])
    put('fuzz_lunetta_read', 's%d_w%d' % (station, words),
        [station, words - 1] + list(bytes([STX]) + body + hex2(sum(body))))
    put('fuzz_lunetta_read', 's%d_nak' % station,
        [station, words - 1] + list(bytes([NAK]) + hex2(station) + b'FF02'))
for station in (0, 1, 0x1F):
    for form in (0, 1):
        put('fuzz_lunetta_write', 's%d_f%d_ack' % (station, form),
            [station, form] + list(bytes([ACK]) + hex2(station) + b'FF'))
        put('fuzz_lunetta_write', 's%d_f%d_nak' % (station, form),
            [station, form] + list(bytes([NAK]) + hex2(station) + b'FF06'))

# Marrowin (1E): 0x81 0x00 data; refusals 0x81 code (0x5B: one more byte).
for points in (1, 2, 16, 256):
    put('fuzz_marrowin_read', 'p%d' % points,
        [points - 1, 0x81, 0x00] + [(i * 7) & 0xFF for i in range(2 * points)])
put('fuzz_marrowin_read', 'err5b', [0, 0x81, 0x5B, 0x10])
put('fuzz_marrowin_read', 'err50', [0, 0x81, 0x50])
for form, sub in ((0, 0x03), (1, 0x02)):
    put('fuzz_marrowin_write', 'ok%d' % form, [form, sub | 0x80, 0x00])
    put('fuzz_marrowin_write', 'err%d' % form, [form, sub | 0x80, 0x5B, 0x10])

# Norvessa (3E): D0 00, network, PC, I/O (2), station, length (2), end code (2), data.
def answer3e(end, data):
    return [0xD0, 0x00, 0x00, 0xFF, 0xFF, 0x03, 0x00] + list(struct.pack('<HH', 2 + len(data), end)) + list(data)
# The variants: first input byte bit 0 4E (serial number 0x0102), bit 1 ASCII.
def variant(v, a3e):
    a = bytes(a3e)
    if v & 2:  # ASCII: every field as hexadecimal digits, words high digit first
        n = struct.unpack('<H', a[7:9])[0] - 2
        end = struct.unpack('<H', a[9:11])[0]
        data = a[11:]
        if end:
            d = b'%02X%02X%04X%02X%04X%04X' % (data[0], data[1], struct.unpack('<H', data[2:4])[0], data[4],
                                                 struct.unpack('<H', data[5:7])[0], struct.unpack('<H', data[7:9])[0])
        else:
            d = b''.join(b'%04X' % struct.unpack('<H', data[i:i + 2])[0] for i in range(0, n, 2))
        a = b'D00000FF03FF00' + b'%04X%04X' % (4 + len(d), end) + d
        return list(b'D4000102' + b'0000' + a[4:]) if v & 1 else list(a)
    return [0xD4, 0x00, 0x02, 0x01, 0x00, 0x00] + list(a[2:]) if v & 1 else list(a)
for v in range(4):
    for points in (1, 2, 16, 960):
        put('fuzz_norvessa_read', 'v%d_p%d' % (v, points), [v] + list(struct.pack('<H', points - 1))
            + variant(v, answer3e(0, bytes((i * 11) & 0xFF for i in range(2 * points)))))
    put('fuzz_norvessa_read', 'v%d_err' % v, [v, 0, 0]
        + variant(v, answer3e(0xC059, bytes([0x00, 0xFF, 0xFF, 0x03, 0x00, 0x01, 0x04, 0x00, 0x00]))))
    put('fuzz_norvessa_write', 'v%d_ok' % v, [v] + variant(v, answer3e(0, b'')))
    put('fuzz_norvessa_write', 'v%d_err' % v, [v]
        + variant(v, answer3e(0xC059, bytes([0x00, 0xFF, 0xFF, 0x03, 0x00, 0x01, 0x14, 0x00, 0x00]))))

# Addresses: decoding (UTF-8), type, count selector and value, seed, text.
addresses = {
    'kelvaro': ['D100', 'X17', 'Y7', 'M8000', 'S0', 'm5', 'D8255'],
    'lunetta': ['D100', 'X17', 'Y7', 'M8000', 'S0', 'd9999'],
    'marrowin': ['D100', 'X1F', 'Y10', 'M100', 'M100.3', 'x0'],
    'norvessa': ['D100', 'X1F', 'Y10', 'M100', 'M100.3', 'W1A', 'R5', 'x0'],
}
for plugin, texts in addresses.items():
    for i, text in enumerate(texts):
        for type_, count in ((1, 3), (4, 1), (8, 2), (11, 1)):
            put('fuzz_%s_address' % plugin, '%d_%d_%d' % (i, type_, count),
                [0, type_, 0] + list(struct.pack('<i', count)) + [0x5A] + list(text.encode()))

for i, text in enumerate(['127.0.0.1:5000', '192.168.3.39:8000', '/dev/ttyS0,9600,7,1,E',
                          '/dev/ttyUSB0,19200,8,1,N', 'COM3,9600,8,2,O', 'host;']):
    put('fuzz_connecttext', 'c%d' % i, [0] + list(text.encode()))
