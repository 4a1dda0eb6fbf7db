#!/usr/bin/python3
# Makes the fixtures of tests/jpegpng. Run with Debian's /usr/bin/python3 (it has Pillow),
# with ImageMagick's convert and libjpeg-turbo's cjpeg/djpeg on PATH:
#   cd tests/data/jpegpng && /usr/bin/python3 make_fixtures.py
#
# pngsuite.expected.z: for every file of ../pngsuite, the pixels
#   Pillow decodes, composited over the file's bKGD colour or, without one, over TEST_BG
#   (the background the test sets), packed and zlib-compressed. One record per file:
#     name (32 bytes, zero padded), kind (1 byte), width, height (2 bytes each, little-endian),
#     then kind 1: one byte a pixel, the bit the 1-bit bitmap must hold (0 or 1);
#          kind 3: four bytes a pixel, red, green, blue and the alpha that was blended
#                  (255 opaque, 0 background only; in between the test allows 1 off).
#   16-bit samples are taken by their high byte (Pillow would clip 16-bit gray instead).
# photo.ppm: a 61 x 45 picture with gradients and detail; the JPEG files below come from it:
#   photo420.jpg  cjpeg -quality 85 (4:2:0)        photo444.jpg  cjpeg -quality 90 -sample 1x1
#   photoprog.jpg cjpeg -quality 80 -progressive    photogray.jpg cjpeg -grayscale -quality 85
#   photorst.jpg  cjpeg -quality 75 -restart 1       (restart markers every row of blocks)
#   and for each, <name>.s<N>.ppm/.pgm = djpeg -dct int -scale 1/N (N = 1, 2, 4, 8).
# cmyk.jpg: convert photo.ppm -colorspace CMYK -quality 92 (an Adobe CMYK file);
#   cmyk.expected.ppm: convert cmyk.jpg -colorspace sRGB, ImageMagick's own reading of it.
import os
import struct
import subprocess
import zlib

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
SUITE = os.path.normpath(os.path.join(HERE, "../pngsuite"))
TEST_BG = (200, 120, 40)  # red, green, blue


def chunks(path):
    data = open(path, "rb").read()
    pos = 8
    out = {}
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        out.setdefault(kind.decode("latin-1"), data[pos + 8:pos + 8 + length])
        pos += 12 + length
    return out


def to8(v, depth):
    if depth == 16:
        return v >> 8
    if depth == 8:
        return v
    return (v & ((1 << depth) - 1)) * 255 // ((1 << depth) - 1)


def expected(path):
    c = chunks(path)
    w, h, depth, ctype = struct.unpack(">IIBB", c["IHDR"][:10])
    im = Image.open(path)
    im.load()
    bg = TEST_BG
    bk = c.get("bKGD")
    if bk is not None:
        if ctype == 3:
            pal = c["PLTE"]
            i = bk[0]
            bg = tuple(pal[3 * i:3 * i + 3])
        elif ctype & 2:
            r, g, b = struct.unpack(">HHH", bk[:6])
            bg = (to8(r, depth), to8(g, depth), to8(b, depth))
        else:
            (g,) = struct.unpack(">H", bk[:2])
            bg = (to8(g, depth),) * 3
    if depth == 1:
        bits = bytearray()
        if ctype == 3:
            px = im.load()
            for y in range(h):
                for x in range(w):
                    bits.append(px[x, y] & 1)
        else:
            px = im.convert("L").load()
            trans = None
            if "tRNS" in c:
                (trans,) = struct.unpack(">H", c["tRNS"][:2])
            if bk is not None:
                (bgbit,) = struct.unpack(">H", bk[:2])
            else:
                bgbit = 1 if (bg[0] * 21 + bg[1] * 71 + bg[2] * 7) // 100 >= 128 else 0
            for y in range(h):
                for x in range(w):
                    v = 1 if px[x, y] else 0
                    if trans is not None and v == trans:
                        v = bgbit
                    bits.append(v)
        return w, h, 1, bytes(bits)
    if im.mode in ("I", "I;16", "I;16B"):
        px = im.load()
        trans = im.info.get("transparency")
        rgba = []
        for y in range(h):
            for x in range(w):
                v = px[x, y]
                a = 0 if trans is not None and v == trans else 255
                rgba.append((v >> 8,) * 3 + (a,))
    else:
        if depth == 16 and "tRNS" in c and ctype == 2:
            # Pillow keeps the 16-bit key but gives 8-bit pixels: compare the high bytes.
            r, g, b = struct.unpack(">HHH", c["tRNS"][:6])
            key = (r >> 8, g >> 8, b >> 8)
            src = im.convert("RGB")
            rgba = [p + ((0,) if p == key else (255,)) for p in src.getdata()]
        elif ctype == 0 and depth < 8 and "tRNS" in c:
            # Pillow compares the key at the file's depth with 8-bit pixels: scale it.
            (t,) = struct.unpack(">H", c["tRNS"][:2])
            key = to8(t, depth)
            rgba = [(v, v, v, 0 if v == key else 255) for v in im.convert("L").getdata()]
        else:
            rgba = list(im.convert("RGBA").getdata())
    out = bytearray()
    for r, g, b, a in rgba:
        for f, k in ((r, bg[0]), (g, bg[1]), (b, bg[2])):
            out.append((f * a + k * (255 - a) + 127) // 255)
        out.append(a)
    return w, h, 3, bytes(out)


def make_pngsuite():
    blob = bytearray()
    for name in sorted(os.listdir(SUITE)):
        if not name.endswith(".png"):
            continue
        w, h, kind, data = expected(os.path.join(SUITE, name))
        blob += name.encode().ljust(32, b"\0") + struct.pack("<BHH", kind, w, h) + data
    open(os.path.join(HERE, "pngsuite.expected.z"), "wb").write(zlib.compress(bytes(blob), 9))


def make_photo():
    w, h = 61, 45
    im = Image.new("RGB", (w, h))
    px = im.load()
    for y in range(h):
        for x in range(w):
            r = (x * 255) // (w - 1)
            g = (y * 255) // (h - 1)
            b = ((x * 7 + y * 13) % 64) * 4
            if (x // 6 + y // 6) % 2 == 0:
                r, g = 255 - g, (r + b) // 2
            if 20 <= x < 30 and 10 <= y < 30:
                r, g, b = 250, 250, 250
            px[x, y] = (r, g, b)
    path = os.path.join(HERE, "photo.ppm")
    im.save(path)
    return path


def run(args, out=None):
    with open(out, "wb") if out else open(os.devnull, "wb") as f:
        subprocess.run(args, check=True, stdout=f)


def make_jpegs(photo):
    variants = {
        "photo420": ["-quality", "85"],
        "photo444": ["-quality", "90", "-sample", "1x1"],
        "photoprog": ["-quality", "80", "-progressive"],
        "photogray": ["-grayscale", "-quality", "85"],
        "photorst": ["-quality", "75", "-restart", "1"],
    }
    for name, opts in variants.items():
        jpg = os.path.join(HERE, name + ".jpg")
        run(["cjpeg"] + opts + ["-outfile", jpg, photo])
        ext = ".pgm" if name == "photogray" else ".ppm"
        for n in (1, 2, 4, 8):
            run(["djpeg", "-dct", "int", "-scale", "1/%d" % n, "-outfile",
                 os.path.join(HERE, "%s.s%d%s" % (name, n, ext)), jpg])
    cmyk = os.path.join(HERE, "cmyk.jpg")
    run(["convert", photo, "-colorspace", "CMYK", "-quality", "92", cmyk])
    run(["convert", cmyk, "-colorspace", "sRGB", "-depth", "8",
         os.path.join(HERE, "cmyk.expected.ppm")])


if __name__ == "__main__":
    make_pngsuite()
    make_jpegs(make_photo())
