#!/usr/bin/env python3
"""Writes the seed files of the BMP, icon, PCX, TIFF and fax fuzz targets into fuzz/seeds/<target>/:
small files of each layout and hostile ones (huge declared pictures, runs past the row, indices
past the map, cut data, size fields and strip counts far beyond the data, FillOrder 2).

Run from anywhere: python3 fuzz/seeds/bmp_ico_pcx_tiff.py. Fuzz with a copy of a folder as the
corpus (and tests/data/<format> as a second seed folder), e.g.
  mkdir -p build/fuzz/corpus_bmp && build/fuzz/fuzz_bmp build/fuzz/corpus_bmp fuzz/seeds/bmp tests/data/bmp
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def put(target, name, data):
    folder = os.path.join(HERE, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes(data))


# ---- BMP ----

def bmp(w, h, bits, comp, pal, pixels, file_size=None, header=40, offset=None):
    info = struct.pack("<IiiHHIIiiII", header, w, h, 1, bits, comp, 0, 2835, 2835, len(pal), 0)
    info += bytes(header - 40)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in pal)
    off = 14 + header + len(palette) if offset is None else offset
    body = info + palette + bytes(pixels)
    size = 14 + len(body) if file_size is None else file_size
    return struct.pack("<2sIHHI", b"BM", size, 0, 0, off) + body


RGB3 = [(255, 0, 0), (0, 255, 0), (0, 0, 255)]


def bmp_seeds():
    # A run of 9 in a 5-pixel row, literal with an index past the map, end of bitmap.
    put("bmp", "rle8_run_past_row.bmp", bmp(5, 2, 8, 1, RGB3, [9, 1, 0, 0, 0, 5, 2, 7, 0, 1, 2, 0, 0, 1]))
    put("bmp", "rle4_run_past_row.bmp", bmp(5, 2, 4, 2, RGB3, [9, 0x12, 0, 0, 0, 5, 0x27, 0x01, 0x20, 0, 0, 1]))
    # Compressed data without an end code, cut inside a code.
    put("bmp", "rle8_no_end.bmp", bmp(3, 3, 8, 1, RGB3[:2], [3, 1, 0, 0, 2, 0, 0]))
    # Deltas past the row and the picture.
    put("bmp", "rle8_deltas.bmp", bmp(4, 3, 8, 1, RGB3, [2, 1, 0, 2, 200, 1, 2, 2, 0, 2, 1, 9, 0, 1]))
    put("bmp", "pal8_bad_index.bmp", bmp(3, 1, 8, 0, RGB3[:2], [0, 200, 1, 0]))
    put("bmp", "file_size_too_large.bmp", bmp(2, 2, 24, 0, [], list(range(1, 7)) + [0, 0] + list(range(7, 13)) + [0, 0],
                                              file_size=1000000))
    put("bmp", "huge_24.bmp", bmp(40000, 30000, 24, 0, [], [255, 0] * 100))
    put("bmp", "huge_rle8.bmp", bmp(60000, 60000, 8, 1, RGB3, [255, 1] * 100))
    put("bmp", "within_limit_no_pixels.bmp", bmp(2000, 1500, 8, 0, RGB3, [1] * 64))
    put("bmp", "header_66.bmp", bmp(3, 2, 24, 0, [], [7] * 24, header=66))
    put("bmp", "top_down_24.bmp", bmp(2, -2, 24, 0, [], list(range(16))))
    masks = struct.pack("<III", 0xFF00, 0xFF, 0)
    put("bmp", "bitfields_880.bmp", bmp(2, 2, 16, 3, [], list(masks) + [1, 2, 3, 4, 5, 6, 7, 8], offset=14 + 40 + 12))
    masks = struct.pack("<III", 0x3FF00000, 0xFFC00, 0x3FF)
    put("bmp", "bitfields_32.bmp", bmp(1, 2, 32, 3, [], list(masks) + [0xFF] * 8, offset=14 + 40 + 12))
    put("bmp", "os2_pal4.bmp", struct.pack("<2sIHHI", b"BM", 14 + 12 + 48 + 8, 0, 0, 14 + 12 + 48)
        + struct.pack("<IHHHH", 12, 5, 2, 1, 4) + bytes(range(48)) + bytes([0x12, 0x34, 0x50, 0, 0xAB, 0xCD, 0xE0, 0]))


# ---- icons ----

def icon_entry(w, h, colours, planes_or_x, bits_or_y, size, offset):
    return struct.pack("<BBBBHHII", w & 255, h & 255, colours, 0, planes_or_x, bits_or_y, size, offset)


def icon_image(w, h, bits, pal, rows):
    return struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, bits, 0, 0, 0, 0, len(pal), 0) + \
        b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in pal) + bytes(rows)


def put_icon(name, data, index=0):
    # The target reads the image at (size mod 5): bytes at the end pick it.
    data = bytes(data)
    put("ico", name, data + bytes((index - len(data)) % 5))


def ico_seeds():
    pal16 = [(i * 16, 255 - i * 16, i) for i in range(16)]
    img4 = icon_image(4, 4, 4, pal16, [0x01, 0x23, 0, 0] * 4)
    img1 = icon_image(8, 2, 1, [(0, 0, 0), (255, 255, 255)], [0xA5, 0, 0, 0, 0x5A, 0, 0, 0])
    img8 = icon_image(2, 2, 8, RGB3, [0, 2, 0, 0, 1, 250, 0, 0])
    img24 = icon_image(2, 1, 24, [], [1, 2, 3, 4, 5, 6, 0, 0])
    imgs = [img4, img1, img8, img24]
    head = struct.pack("<HHH", 0, 1, len(imgs))
    at = 6 + 16 * len(imgs)
    entries = b""
    sizes = [(4, 4, 16, 4), (8, 2, 2, 1), (2, 2, 0, 8), (2, 1, 0, 24)]
    for (w, h, c, b), img in zip(sizes, imgs):
        entries += icon_entry(w, h, c, 1, b, len(img), at)
        at += len(img)
    for i in range(4):
        put_icon("four_images_%d.ico" % i, head + entries + b"".join(imgs), i)
    cur = struct.pack("<HHH", 0, 2, 1) + icon_entry(4, 4, 16, 2, 3, len(img4), 22) + img4
    put_icon("cursor.cur", cur)
    # Entry offset and size far past the data; no bit count anywhere.
    put_icon("offset_past_end.ico", struct.pack("<HHH", 0, 1, 1) + icon_entry(16, 16, 16, 1, 4, 0xFFFFFFF0, 0x7FFFFFF0)
        + img4)
    put_icon("no_bit_count.ico", struct.pack("<HHH", 0, 1, 1) + icon_entry(4, 4, 0, 1, 0, len(img4), 22)
        + img4.replace(struct.pack("<HH", 1, 4), struct.pack("<HH", 1, 0), 1))
    # A BMP given to the icon reader, declaring a huge picture.
    put_icon("bm_huge.ico", bmp(40000, 30000, 24, 0, [], [0] * 64))
    put_icon("bm_rle8.ico", bmp(5, 2, 8, 1, RGB3, [9, 1, 0, 0, 0, 5, 2, 7, 0, 1, 2, 0]))


# ---- PCX ----

def pcx_header(bits, planes, w, h, line_bytes, encoding=1, pal16=None):
    p = bytes(48) if pal16 is None else bytes(pal16)
    return struct.pack("<BBBBHHHHHH", 10, 5, encoding, bits, 0, 0, w - 1, h - 1, 72, 72) + p + \
        struct.pack("<BBHH", 0, planes, line_bytes, 1) + bytes(58)


def pcx_seeds():
    pal = bytes([12]) + bytes(i % 256 for i in range(768))
    put("pcx", "rle8.pcx", pcx_header(8, 1, 5, 3, 6) + bytes([0xC6, 3, 1, 2, 0xC1, 0xC5, 4, 5, 6, 0xC2, 7]) + pal)
    put("pcx", "rle24_runs_cross_planes.pcx", pcx_header(8, 3, 3, 2, 4) + bytes([0xC9, 10, 0xC9, 20, 0xC9, 30]))
    put("pcx", "raw1.pcx", pcx_header(1, 1, 10, 2, 2, 0) + bytes([0xA5, 0xC0, 0x5A, 0x3F]))
    put("pcx", "planes4.pcx", pcx_header(1, 4, 8, 1, 2, 1, range(48)) + bytes([0xC1, 0xF0, 0, 0x0F, 0, 0x55, 0, 0xAA, 0]))
    put("pcx", "rle4.pcx", pcx_header(4, 1, 5, 2, 4, 1, range(48)) + bytes([0x12, 0x34, 0x50, 0, 0xC4, 0x77]))
    put("pcx", "huge_24.pcx", pcx_header(8, 3, 65535, 65535, 65535) + bytes([0xC1, 0xC1] * 300))
    put("pcx", "huge_lines_small_picture.pcx", pcx_header(8, 3, 2, 2, 65534, 0) + bytes(range(200)))
    put("pcx", "cut.pcx", pcx_header(8, 3, 40, 30, 40) + bytes([0xFF, 3] * 20))
    put("pcx", "zero_runs.pcx", pcx_header(8, 1, 4, 4, 4) + bytes([0xC0, 9] * 200) + bytes([0xC4, 1] * 4) + pal)


# ---- TIFF ----

def tiff(entries, strip, big=False):
    """entries: (tag, type, count, value or bytes); bytes are stored after the IFD."""
    e = ">" if big else "<"
    head = (b"MM\0*" if big else b"II*\0")
    data = bytearray(head + bytes(4) + bytes(strip))
    if len(data) & 1:
        data += b"\0"
    ifd = len(data)
    struct.pack_into(e + "I", data, 4, ifd)
    extra_at = ifd + 2 + 12 * len(entries) + 4
    extra = bytearray()
    body = struct.pack(e + "H", len(entries))
    for tag, typ, count, value in sorted(entries):
        if isinstance(value, (bytes, bytearray)):
            body += struct.pack(e + "HHII", tag, typ, count, extra_at + len(extra))
            extra += value
            if len(extra) & 1:
                extra += b"\0"
        elif typ == 3 and count == 1:
            body += struct.pack(e + "HHIHH", tag, typ, count, value, 0)
        else:
            body += struct.pack(e + "HHII", tag, typ, count, value)
    return bytes(data + body + struct.pack(e + "I", 0) + extra)


def tags(w, h, bits, samples, comp, photo, count, extra=()):
    t = [(256, 4, 1, w), (257, 4, 1, h), (258, 3, 1, bits), (259, 3, 1, comp), (262, 3, 1, photo), (273, 4, 1, 8),
         (277, 3, 1, samples), (278, 4, 1, h)]
    if count is not None:
        t.append((279, 4, 1, count))
    return t + list(extra)


def lzw_encode(data):
    """TIFF LZW: codes of 9 to 12 bits, most significant bit first, early width change."""
    out, acc, nbits = bytearray(), 0, 0
    width, nxt, table = 9, 258, {}

    def emit(code):
        nonlocal acc, nbits
        acc = (acc << width) | code
        nbits += width
        while nbits >= 8:
            nbits -= 8
            out.append((acc >> nbits) & 255)
        acc &= (1 << nbits) - 1

    emit(256)
    prefix = None
    for c in data:
        if prefix is None:
            prefix = c
            continue
        key = (prefix, c)
        if key in table:
            prefix = table[key]
            continue
        emit(prefix)
        table[key] = nxt
        nxt += 1
        if nxt == 511:
            width = 10
        elif nxt == 1023:
            width = 11
        elif nxt == 2047:
            width = 12
        if nxt >= 4093:
            emit(256)
            table, nxt, width = {}, 258, 9
        prefix = c
    if prefix is not None:
        emit(prefix)
        nxt += 1
        if nxt == 511:
            width = 10
        elif nxt == 1023:
            width = 11
        elif nxt == 2047:
            width = 12
    emit(257)
    if nbits:
        out.append((acc << (8 - nbits)) & 255)
    return bytes(out)


def packbits(row):
    out, i = bytearray(), 0
    while i < len(row):
        run = 1
        while i + run < len(row) and run < 128 and row[i + run] == row[i]:
            run += 1
        if run > 1:
            out += bytes([257 - run, row[i]])
            i += run
        else:
            j = i
            while j < len(row) and j - i < 128 and (j + 1 >= len(row) or row[j + 1] != row[j]):
                j += 1
            j = max(j, i + 1)
            out += bytes([j - i - 1]) + bytes(row[i:j])
            i = j
    return bytes(out)


def rev(data):
    return bytes(int("{:08b}".format(b)[::-1], 2) for b in data)


def strip_of(path):
    """The first strip and the tags of a fixture file."""
    d = open(path, "rb").read()
    e = ">" if d[:2] == b"MM" else "<"
    ifd = struct.unpack_from(e + "I", d, 4)[0]
    n = struct.unpack_from(e + "H", d, ifd)[0]
    t = {}
    for i in range(n):
        tag, typ, count = struct.unpack_from(e + "HHI", d, ifd + 2 + 12 * i)
        raw = d[ifd + 2 + 12 * i + 8: ifd + 2 + 12 * i + 12]
        t[tag] = struct.unpack_from(e + ("H" if typ == 3 else "I"), raw)[0] if count == 1 else None
    return d[t[273]:t[273] + t[279]], t


def tiff_seeds():
    # Byte 0 of each seed drives the target: bits 0-1 the page, bit 2 the LZW coder, bit 3
    # parameters only, bit 4 a page inserted.
    w, h = 6, 4
    rgb = bytes(v for y in range(h) for x in range(w) for v in (x * 40 + y, y * 60, (x ^ y) * 30))
    gray = bytes(x * 40 + y for y in range(h) for x in range(w))
    bw = bytes([0xA5, 0x3C, 0xFF, 0x00])  # 8 x 4
    seeds = {
        "rgb_none": tiff(tags(w, h, 8, 3, 1, 2, len(rgb)), rgb),
        "rgb_none_be": tiff(tags(w, h, 8, 3, 1, 2, len(rgb)), rgb, big=True),
        "rgb_packbits": tiff(tags(w, h, 8, 3, 32773, 2, None),
                             b"".join(packbits(rgb[y * w * 3:(y + 1) * w * 3]) for y in range(h))),
        "gray_lzw_pred": tiff(tags(w, h, 8, 1, 5, 1, None, [(317, 3, 1, 2)]), lzw_encode(gray)),
        "rgb_lzw": tiff(tags(w, h, 8, 3, 5, 2, 0xFFFFFFF0), lzw_encode(rgb)),
        "lzw_cut": tiff(tags(w, h, 8, 3, 5, 2, 9), lzw_encode(rgb)[:9]),
        "bw_none_fill2": tiff(tags(8, 4, 1, 1, 1, 0, 4, [(266, 3, 1, 2)]), rev(bw)),
        "bw_packbits_fill2": tiff(tags(8, 4, 1, 1, 32773, 1, None, [(266, 3, 1, 2)]), rev(packbits(bw))),
        "bw_lzw_fill2": tiff(tags(8, 4, 1, 1, 5, 1, None, [(266, 3, 1, 2)]), rev(lzw_encode(bw))),
        "huge_rgb": tiff(tags(40000, 30000, 8, 3, 1, 2, 0xFFFFFFF0), bytes(64)),
        "huge_lzw": tiff(tags(26000, 26000, 8, 3, 5, 2, 0xFFFFFFF0), lzw_encode(bytes(300))),
        "huge_g4": tiff(tags(300000, 60000, 1, 1, 4, 0, 0xFFFFFFF0), bytes(32)),
        "strip_count_huge": tiff(tags(w, h, 8, 3, 1, 2, 0xFFFFFFF0), rgb),
        "strip_tables_huge": tiff([t for t in tags(w, h, 8, 3, 1, 2, None) if t[0] != 273]
                                  + [(273, 4, 0x40000000, 8), (279, 4, 0x40000000, 8)], rgb),
        "palette4": tiff(tags(4, 2, 4, 1, 1, 3, 4, [(320, 3, 48, struct.pack("<48H", *range(0, 48 * 1000, 1000)))]),
                         bytes([0x01, 0x23, 0xF5, 0x67])),
        "planar": tiff([t for t in tags(2, 1, 8, 3, 1, 2, None) if t[0] != 273]
                       + [(284, 3, 1, 2), (273, 4, 3, struct.pack("<3I", 8, 10, 12)),
                          (279, 4, 3, struct.pack("<3I", 2, 2, 2))], bytes([1, 2, 3, 4, 5, 6])),
    }
    for name, data in seeds.items():
        put("tiff", name + ".tif", bytes([0]) + data)
        if "lzw" in name:
            put("tiff", name + "_coder.tif", bytes([4]) + data)
    # The fixtures' fax files, with and without the coder bit.
    folder = os.path.join(ROOT, "tests", "data", "tiff")
    for f in ("bw_g4_mw.tif", "bw_g3_2d_fill2.tif", "bw_mh.tif", "bw_g3_1d_mw.tif"):
        put("tiff", f, bytes([0]) + open(os.path.join(folder, f), "rb").read())


def ccitt_seeds():
    # Byte 0: bits 0-1 the decoder (0 modified Huffman rows, 1 one-dimensional, 2-3
    # two-dimensional), bit 2 fill order 2; bytes 1-2 the width.
    folder = os.path.join(ROOT, "tests", "data", "tiff")
    for f, kind in (("bw_mh.tif", 0), ("bw_g3_1d_mw.tif", 1), ("bw_g3_2d_mw.tif", 2), ("bw_g4_mw.tif", 2),
                    ("bw_g4_fill2.tif", 6), ("bw_g3_2d_fill2.tif", 6)):
        data, t = strip_of(os.path.join(folder, f))
        put("ccitt", f[:-4], struct.pack("<BH", kind, t[256]) + data)
    put("ccitt", "zeros_2d", struct.pack("<BH", 2, 1728) + bytes(64))
    put("ccitt", "ones_1d", struct.pack("<BH", 1, 1728) + bytes([0xFF] * 64))
    put("ccitt", "eol_run", struct.pack("<BH", 2, 40) + bytes([0, 1, 0, 0x10, 0x01] * 8))


if __name__ == "__main__":
    bmp_seeds()
    ico_seeds()
    pcx_seeds()
    tiff_seeds()
    ccitt_seeds()
