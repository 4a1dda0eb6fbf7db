#!/bin/sh
# Makes the fixtures of the geometry tests: a 13x7 colour picture and a 13x5 black and white
# one, turned and mirrored by Pillow (colour) and ImageMagick (black and white).
set -e
cd "$(dirname "$0")"
/usr/bin/python3 - <<'PY'
from PIL import Image
w, h = 13, 7
im = Image.new("RGB", (w, h))
im.putdata([((x * 37 + y * 11) % 256, (x * 5 + y * 53) % 256, (x * y * 17 + 3) % 256)
            for y in range(h) for x in range(w)])
im.save("src24.ppm")
im.transpose(Image.Transpose.ROTATE_270).save("cw24.ppm")
im.transpose(Image.Transpose.ROTATE_90).save("ccw24.ppm")
im.transpose(Image.Transpose.ROTATE_180).save("r180_24.ppm")
im.transpose(Image.Transpose.FLIP_LEFT_RIGHT).save("flop24.ppm")
im.transpose(Image.Transpose.FLIP_TOP_BOTTOM).save("flip24.ppm")
bw = Image.new("1", (13, 5))
bw.putdata([255 if (x * 7 + y * 3) % 5 < 2 or x == 0 else 0 for y in range(5) for x in range(13)])
bw.save("src1.pbm")
PY
convert src1.pbm -flop flop1.pbm
convert src1.pbm -flip flip1.pbm
convert src1.pbm -rotate 90 cw1.pbm
convert src1.pbm -rotate 180 r180_1.pbm
