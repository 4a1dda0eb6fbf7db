#!/usr/bin/env python3
"""Writes the seed inputs of the AVI fuzz target: the files of the multi-image tests (made by
ffmpeg) and small hand-built ones that reach palette changes, frame lists inside the frame
list, dropped frames, bit fields and a second form (run from anywhere).

    build/fuzz/fuzz_avi -max_total_time=600 -rss_limit_mb=2048 /tmp/corpus_avi fuzz/seeds/avi"""
import os
import shutil
import struct

ROOT = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(ROOT, '..', '..', 'tests', 'data', 'mview')
OUT = os.path.join(ROOT, 'avi')


def chunk(fcc, data):
    return fcc + struct.pack('<I', len(data)) + data + (b'\0' if len(data) & 1 else b'')


def lst(kind, typ, body):
    return kind + struct.pack('<I', len(body) + 4) + typ + body


def headers(w, h, bits, compression, extra=b'', rate=15, length=3):
    avih = struct.pack('<I', 66666) + b'\0' * 52
    strh = b'vids' + b'\0' * 16 + struct.pack('<III', 1, rate, 0) + struct.pack('<I', length) + b'\0' * 20
    strf = struct.pack('<IiiHHIIiiII', 40, w, h, 1, bits, compression, 0, 0, 0, len(extra) // 4 if bits <= 8 else 0, 0)
    return lst(b'LIST', b'hdrl', chunk(b'avih', avih) + lst(b'LIST', b'strl', chunk(b'strh', strh) + chunk(b'strf', strf + extra)))


def put(name, data):
    with open(os.path.join(OUT, name), 'wb') as f:
        f.write(data)


os.makedirs(OUT, exist_ok=True)
for n in ('bgr24', 'pal8', 'yuy2', 'i420', 'mjpeg'):
    shutil.copyfile(os.path.join(DATA, n + '.avi'), os.path.join(OUT, n + '.avi'))

table = bytes([0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0])
frame8 = bytes([0, 1, 2, 3, 3, 2, 1, 0])  # 4 x 2
movi = (chunk(b'00db', frame8) + chunk(b'00dc', b'') + chunk(b'00pc', bytes([1, 2, 0, 0, 9, 9, 9, 0, 7, 7, 7, 0])) +
        lst(b'LIST', b'rec ', chunk(b'00db', frame8) + chunk(b'01wb', b'abcd')) + chunk(b'00db', frame8[:5]))
put('pal_changes.avi', lst(b'RIFF', b'AVI ', headers(4, 2, 8, 0, table, length=4) + lst(b'LIST', b'movi', movi)))

masks = struct.pack('<III', 0xF800, 0x07E0, 0x001F)
frame16 = bytes(range(16))  # 4 x 2 of 16 bits
put('bitfields.avi', lst(b'RIFF', b'AVI ', headers(4, -2, 16, 3, masks) + lst(b'LIST', b'movi', chunk(b'00db', frame16))))

frame24 = bytes(range(24))  # 2 x 2 of 24 bits, rows padded to 8
first = lst(b'RIFF', b'AVI ', headers(2, 2, 24, 0, length=2, rate=0) + lst(b'LIST', b'movi', chunk(b'00db', frame24[:16])))
second = lst(b'RIFF', b'AVIX', lst(b'LIST', b'movi', chunk(b'00db', frame24[8:])))
put('two_forms.avi', first + second)
