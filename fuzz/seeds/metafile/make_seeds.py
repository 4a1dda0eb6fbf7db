#!/usr/bin/env python3
"""Writes the seed files of fuzz_metafile into this folder: small WMF and EMF files with the
common records, and hostile ones (huge frames, wide pens on long lines, point counts the
records don't hold, many points, many objects)."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


class Wmf:
    def __init__(self):
        self.body = b""
        self.largest = 0

    def rec(self, fn, words=(), tail=b""):
        if len(tail) % 2:
            tail += b"\0"
        size = 3 + len(words) + len(tail) // 2
        self.body += struct.pack("<IH", size, fn) + b"".join(struct.pack("<H", w & 0xFFFF) for w in words) + tail
        self.largest = max(self.largest, size)

    def pen(self, style, width, rgb):
        self.rec(0x02FA, [style, width, 0, rgb & 0xFFFF, rgb >> 16])

    def brush(self, style, rgb, hatch=0):
        self.rec(0x02FC, [style, rgb & 0xFFFF, rgb >> 16, hatch])

    def build(self, left, top, right, bottom, inch):
        body = self.body + struct.pack("<IH", 3, 0)
        head = struct.pack("<IHhhhhHIH", 0x9AC6CDD7, 0, left, top, right, bottom, inch, 0, 0)
        std = struct.pack("<HHHIHIH", 1, 9, 0x300, 9 + len(body) // 2, 8, self.largest, 0)
        return head + std + body


class Emf:
    def __init__(self):
        self.body = b""
        self.count = 0

    def rec(self, kind, dwords=(), tail=b""):
        tail += b"\0" * (-len(tail) % 4)
        self.body += struct.pack("<II", kind, 8 + 4 * len(dwords) + len(tail))
        self.body += b"".join(struct.pack("<I", d & 0xFFFFFFFF) for d in dwords) + tail
        self.count += 1

    def build(self, right, bottom):
        """Frame in hundredths of a millimetre; reference device of 96 pixels an inch."""
        body = self.body + struct.pack("<IIIII", 14, 20, 0, 0, 20)
        total = 88 + len(body)
        head = struct.pack("<II", 1, 88) + struct.pack("<4i", 0, 0, right * 96 // 2540, bottom * 96 // 2540)
        head += struct.pack("<4i", 0, 0, right, bottom)
        head += struct.pack("<IIIIHHIII", 0x464D4520, 0x10000, total, self.count + 2, 4, 0, 0, 0, 0)
        head += struct.pack("<4i", 960, 960, 254, 254)
        return head + body


def dib24(w, h):
    rows = b""
    for y in range(h):
        row = b"".join(bytes((x * 40 % 256, y * 60 % 256, 200)) for x in range(w))
        rows += row + b"\0" * (-len(row) % 4)
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, 0, 0, 0, 0, 0) + rows


def dib1(w, h):
    head = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 1, 0, 0, 0, 0, 2, 0) + struct.pack("<II", 0, 0xFFFFFF)
    return head + bytes(((w + 31) // 32 * 4) * h)


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def main():
    # Shapes, objects, text and a picture.
    w = Wmf()
    w.brush(0, 0x0000FF)
    w.rec(0x012D, [0])
    w.pen(0, 3, 0x008000)
    w.rec(0x012D, [1])
    w.rec(0x041B, [50, 60, 10, 20])  # rectangle
    w.rec(0x0418, [90, 180, 10, 100])  # ellipse
    w.rec(0x0324, [3, 10, 10, 100, 10, 50, 90])  # polygon
    w.rec(0x0538, [2, 3, 3, 0, 0, 20, 0, 0, 20, 50, 50, 70, 50, 50, 70])  # polypolygon
    w.rec(0x0214, [95, 0])
    w.rec(0x0213, [95, 200])
    w.rec(0x01F0, [0])
    w.rec(0x0209, [0x00FF, 0])
    w.rec(0x0102, [1])
    w.rec(0x0521, [4], b"Text" + struct.pack("<hh", 30, 30))
    w.rec(0x001E)
    w.rec(0x020B, [0, 0])
    w.rec(0x020C, [100, 200])
    w.rec(0x0127, [0xFFFF])
    w.rec(0x0F43, [0x0020, 0x00CC, 0, 2, 2, 0, 0, 30, 40, 60, 20], dib24(2, 2))
    write("shapes.wmf", w.build(0, 0, 400, 200, 192))

    e = Emf()
    e.rec(39, [1, 0, 0xFF0000, 0])  # brush
    e.rec(37, [1])
    e.rec(37, [0x80000008])  # null pen
    e.rec(43, [10, 10, 50, 40])
    e.rec(95, [2, 0, 0, 0, 0, 0x10000, 6, 0, 0x0000FF, 0])  # extended pen
    e.rec(37, [2])
    e.rec(42, [60, 10, 120, 50])
    e.rec(86, [0, 0, 0, 0, 3], struct.pack("<6h", 100, 10, 180, 10, 140, 80))
    e.rec(91, [0, 0, 0, 0, 2, 6, 3, 3], struct.pack("<12h", 0, 0, 30, 0, 0, 30, 40, 40, 70, 40, 40, 70))
    e.rec(84, [0, 0, 0, 0, 1, 0, 0, 10, 60, 3, 76, 0, 0, 0, 0, 0, 0], "Abc".encode("utf-16-le"))
    e.rec(81, [0, 0, 0, 0, 60, 50, 0, 0, 2, 2, 80, 40, 120, 16, 0, 0x00CC0020, 20, 20], dib24(2, 2))
    write("shapes.emf", e.build(5080, 2540))

    # Empty files whose frames say 26000 x 26000 pixels.
    write("frame26000.wmf", Wmf().build(0, 0, 26000, 26000, 96))
    write("frame26000.emf", Emf().build(687917, 687917))

    # 45 long lines with a pen of 1000 pixels once mapped, solid and dashed.
    for style, name in ((0, "widelines.wmf"), (1, "widelines-dashed.wmf")):
        w = Wmf()
        w.pen(style, 250, 0x0000FF)
        w.rec(0x012D, [0])
        for i in range(45):
            w.rec(0x0214, [0, 1125 if i % 2 else 0])
            w.rec(0x0213, [1125, 0 if i % 2 else 1125])
        write(name, w.build(0, 0, 1125, 1125, 24))
    e = Emf()
    e.rec(38, [1, 0, 100000, 0, 0x00FF00])  # a pen far wider than the picture
    e.rec(37, [1])
    e.rec(4, [0, 0, 0, 0, 3, 0, 0, 2000, 1000, 0, 2000])
    write("widepen.emf", e.build(2540, 2540))

    # Point and part counts that the records don't hold.
    w = Wmf()
    w.rec(0x0324, [32767, 0, 0, 10, 10])
    w.rec(0x0538, [65535, 65535, 65535, 0, 0])
    w.rec(0x0325, [0x8000, 1, 1])
    w.brush(0, 0xFF0000)
    w.rec(0x012D, [0])
    w.rec(0x041B, [20, 20, 10, 10])
    write("counts.wmf", w.build(0, 0, 30, 30, 96))
    e = Emf()
    e.rec(4, [0, 0, 0, 0, 0xFFFFFFFF, 1, 1])
    e.rec(8, [0, 0, 0, 0, 0x3FFFFFFF, 0x7FFFFFFF, 3])
    e.rec(90, [0, 0, 0, 0, 2, 0x7FFFFFFF, 2, 2])
    e.rec(84, [0, 0, 0, 0, 1, 0, 0, 10, 10, 0x7FFFFFFF, 76, 0, 0, 0, 0, 0, 0])
    write("counts.emf", e.build(794, 794))

    # A hollow polygon of 2000 points zigzagging across the picture.
    e = Emf()
    e.rec(37, [0x80000005])  # null brush
    pts = []
    for i in range(2000):
        pts += [i // 5, 1999 if i % 2 else 0]
    e.rec(86, [0, 0, 0, 0, 2000], struct.pack("<%dh" % len(pts), *pts))
    write("zigzag.emf", e.build(52917, 52917))

    # Many objects created and never deleted, then selected.
    w = Wmf()
    for i in range(600):
        w.pen(0, i % 7, i * 999)
    w.rec(0x012D, [599])
    w.rec(0x0214, [0, 0])
    w.rec(0x0213, [100, 100])
    write("objects.wmf", w.build(0, 0, 100, 100, 96))

    # A 1-bit picture much larger once decoded than its rows.
    e = Emf()
    e.rec(81, [0, 0, 0, 0, 0, 0, 0, 0, 600, 600, 80, 48, 128, (600 + 31) // 32 * 4 * 600, 0, 0x00CC0020, 10, 10],
          dib1(600, 600))
    write("bigdib.emf", e.build(2540, 2540))


if __name__ == "__main__":
    main()
