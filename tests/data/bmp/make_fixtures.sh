#!/bin/sh
# Makes the BMP fixtures of the BMP tests with three other programs, each with its own
# rendering of what it wrote (<name>.png), which the reader must match.
# Needs netpbm, ImageMagick and Pillow under /usr/bin/python3.
set -e
cd "$(dirname "$0")"
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT

# Source pictures: 21 x 9 (odd width, rows need padding) in many colours, in 16 colours,
# and in black and white.
/usr/bin/python3 - "$T" <<'PY'
import sys
from PIL import Image
t = sys.argv[1]
w, h = 21, 9
im = Image.new("RGB", (w, h))
for y in range(h):
    for x in range(w):
        im.putpixel((x, y), ((x * 12) & 255, (y * 28) & 255, ((x + y) * 9) & 255))
im.putpixel((0, 0), (255, 255, 255))
im.save(t + "/many.ppm")
pal = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0), (0, 255, 255),
       (255, 0, 255), (128, 0, 0), (0, 128, 0), (0, 0, 128), (128, 128, 0), (0, 128, 128), (128, 0, 128),
       (192, 192, 192), (64, 64, 64)]
im16 = Image.new("RGB", (w, h))
for y in range(h):
    for x in range(w):
        # runs of equal pixels and single ones, so that coded rows use both forms
        im16.putpixel((x, y), pal[(x // 3 + y) % 16] if x < 12 else pal[(x * 7 + y) % 16])
im16.save(t + "/sixteen.ppm")
bw = Image.new("1", (w, h))
for y in range(h):
    for x in range(w):
        bw.putpixel((x, y), 255 if (x * x + y * 3) % 5 < 2 else 0)
bw.save(t + "/bw.pbm")
PY

# netpbm
ppmtobmp -windows -bpp 24 "$T/many.ppm" > nb_win24.bmp
ppmtobmp -os2 -bpp 24 "$T/many.ppm" > nb_os2_24.bmp
ppmtobmp -windows -bpp 8 "$T/sixteen.ppm" > nb_win8.bmp
ppmtobmp -windows -bpp 4 "$T/sixteen.ppm" > nb_win4.bmp
ppmtobmp -os2 -bpp 4 "$T/sixteen.ppm" > nb_os2_4.bmp
ppmtobmp -windows "$T/bw.pbm" > nb_win1.bmp
ppmtobmp -os2 "$T/bw.pbm" > nb_os2_1.bmp
for f in nb_*.bmp; do bmptopnm "$f" 2>/dev/null | pnmtopng > "${f%.bmp}.png" 2>/dev/null; done

# ImageMagick
convert "$T/many.ppm" -type TrueColor BMP3:im_v3_24.bmp
convert "$T/many.ppm" -type TrueColor BMP2:im_os2_24.bmp
convert "$T/many.ppm" -alpha set -channel A -evaluate set 100% +channel BMP:im_v5_32.bmp
convert "$T/many.ppm" -type TrueColor -define bmp:subtype=RGB565 BMP:im_565.bmp
convert "$T/many.ppm" -type TrueColor -define bmp:subtype=RGB555 BMP:im_555.bmp
convert "$T/sixteen.ppm" -type Palette -compress RLE BMP3:im_rle8.bmp
convert "$T/sixteen.ppm" -type Palette -colors 16 -compress None BMP3:im_pal4.bmp
convert "$T/many.ppm" -type Palette -compress None BMP3:im_pal8.bmp
convert "$T/bw.pbm" -type Bilevel BMP3:im_1.bmp
for f in im_*.bmp; do convert "$f" -alpha off PNG24:"${f%.bmp}.png"; done

# Pillow
/usr/bin/python3 - "$T" <<'PY'
import sys
from PIL import Image
t = sys.argv[1]
many = Image.open(t + "/many.ppm")
Image.open(t + "/bw.pbm").convert("1").save("pil_1.bmp")
Image.open(t + "/sixteen.ppm").convert("P", palette=Image.ADAPTIVE, colors=256).save("pil_8.bmp")
many.convert("L").save("pil_gray8.bmp")
many.save("pil_24.bmp")
many.convert("RGBA").save("pil_32.bmp")
for n in ["pil_1", "pil_8", "pil_gray8", "pil_24", "pil_32"]:
    Image.open(n + ".bmp").convert("RGB").save(n + ".png")
PY
