#!/usr/bin/env python3
"""Writes the seed inputs of the JPEG, PNG and GIF fuzz targets: a few small real files and
hostile ones that declare pictures far larger than their data (run from the repository root).

    build/fuzz/fuzz_jpeg -max_total_time=600 -rss_limit_mb=2048 /tmp/corpus_jpeg fuzz/seeds/jpeg

The targets cap bitmaps at 8 MB (JPEG, PNG) and 1 MB (GIF), so most hostile seeds declare
pictures just under those caps and let the data checks do the refusing."""
import os
import shutil
import struct
import subprocess
import zlib

ROOT = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(ROOT, '..', '..', 'tests', 'data')
SUITE = os.path.join(ROOT, '..', '..', '..', 'shared', 'testdata', 'pngsuite')


def put(kind, name, data):
    os.makedirs(os.path.join(ROOT, kind), exist_ok=True)
    with open(os.path.join(ROOT, kind, name), 'wb') as f:
        f.write(data)


def copy(kind, path):
    if os.path.exists(path):
        os.makedirs(os.path.join(ROOT, kind), exist_ok=True)
        shutil.copyfile(path, os.path.join(ROOT, kind, os.path.basename(path)))


# JPEG: Huffman tables of one 1-bit code each (DC difference 0, end of block), so each zero
# byte of scan data codes four flat blocks.
def flat_jpeg(w, h, comps, progressive, scans, data):
    b = bytearray(b'\xff\xd8\xff\xdb\x00\x43\x00' + b'\x01' * 64)
    b += bytes([0xFF, 0xC2 if progressive else 0xC0, 0, 8 + 3 * comps, 8]) + struct.pack('>HHB', h, w, comps)
    for c in range(comps):
        b += bytes([c + 1, 0x11, 0])
    for cls in (0x00, 0x10):
        b += bytes([0xFF, 0xC4, 0, 20, cls, 1]) + bytes(15) + b'\x00'
    for s in range(scans if progressive else 1):
        n = comps if s == 0 else 1
        b += bytes([0xFF, 0xDA, 0, 6 + 2 * n, n])
        for c in range(n):
            b += bytes([c + 1, 0])
        band = min(s, 63)
        b += bytes([band, band, 0]) if progressive else bytes([0, 63, 0])
        if s == 0:
            b += bytes(data)
    return bytes(b + b'\xff\xd9')


put('jpeg', 'flat_26000_nodata.jpg', flat_jpeg(26000, 26000, 1, False, 1, 0))
put('jpeg', 'flat_1500_nodata.jpg', flat_jpeg(1500, 1500, 1, False, 1, 0))
put('jpeg', 'flat_1500_40bytes.jpg', flat_jpeg(1500, 1500, 1, False, 1, 40))
put('jpeg', 'flat_prog_1500_62scans.jpg', flat_jpeg(1500, 1500, 1, True, 62, 0))
put('jpeg', 'flat_prog_colour_900_20bytes.jpg', flat_jpeg(900, 900, 3, True, 10, 20))
put('jpeg', 'flat_256_whole.jpg', flat_jpeg(256, 256, 1, False, 1, 256))
put('jpeg', 'flat_256x2048_ends_early.jpg', flat_jpeg(256, 2048, 1, False, 1, 512))
for name in ('photo420.jpg', 'photoprog.jpg', 'photorst.jpg', 'photogray.jpg', 'cmyk.jpg'):
    copy('jpeg', os.path.join(DATA, 'jpegpng', name))
if shutil.which('cjpeg'):
    ppm = os.path.join(DATA, 'jpegpng', 'photo.ppm')
    for opts, name in ((['-arithmetic'], 'photo_arith.jpg'), (['-arithmetic', '-progressive'], 'photo_arith_prog.jpg')):
        put('jpeg', name, subprocess.run(['cjpeg'] + opts + [ppm], capture_output=True, check=True).stdout)


# PNG
def chunk(kind, data, length=None):
    body = kind + data
    return struct.pack('>I', len(data) if length is None else length) + body + struct.pack('>I', zlib.crc32(body))


def png(w, h, raw, before=b'', interlace=0):
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, interlace)) + before +
            chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


put('png', 'huge_26000.png', png(26000, 26000, 1000))
put('png', 'big_1500_tiny_data.png', png(1500, 1500, 1000))
put('png', 'wide_1000000_tiny_data.png', png(1000000, 2, 1000))
put('png', 'interlaced_1500_tiny_data.png', png(1500, 1500, 1000, interlace=1))
put('png', 'small_4x4_text.png', png(4, 4, 4 * 13, chunk(b'tEXt', b'Title\x00seed') + chunk(b'zTXt', b'k\x00\x00' + zlib.compress(b'text'))))
for kind in (b'tEXt', b'zTXt', b'iTXt', b'sPLT', b'pCAL', b'sCAL', b'iCCP', b'eXIf'):
    put('png', 'chunk_%s_2GB.png' % kind.decode(), png(4, 4, 4 * 13, chunk(kind, b'key\x00\x00xyz', 0x7FFFFFFF)))
for name in ('basn0g01.png', 'basn2c08.png', 'basn3p08.png', 'basn6a16.png', 'ibasn0g08.png', 'ftbrn2c08.png', 'ibasn3p02.png'):
    copy('png', os.path.join(SUITE, name))


# GIF: a two-colour table and one image whose data are zero bytes.
def zero_gif(sw, sh, w, h, data):
    g = bytearray(b'GIF89a' + struct.pack('<HHBBB', sw, sh, 0x80, 0, 0) + b'\x00\x00\x00\xff\xff\xff')
    g += b',' + struct.pack('<HHHHB', 0, 0, w, h, 0) + b'\x02'
    while data > 0:
        n = min(data, 255)
        g += bytes([n]) + bytes(n)
        data -= n
    return bytes(g + b'\x00;')


put('gif', 'huge_26000.gif', zero_gif(26000, 26000, 26000, 26000, 300))
put('gif', 'small_frame_huge_screen.gif', zero_gif(26000, 26000, 10, 10, 30))
put('gif', 'frame_580x580_nodata.gif', zero_gif(580, 580, 580, 580, 0))
put('gif', 'frame_580x580_10bytes.gif', zero_gif(100, 100, 580, 580, 10))
put('gif', 'frame_300x200_fits.gif', zero_gif(300, 200, 300, 200, 100))
for name in ('im_16.gif', 'im_bw.gif', 'im_interlace.gif', 'im_anim.gif', 'pil_1.gif'):
    copy('gif', os.path.join(DATA, 'pcxgif', name))
