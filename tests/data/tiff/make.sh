#!/bin/sh
# Makes the TIFF fixtures of tests/tiff with libtiff's tools, netpbm and ImageMagick.
# Expected pixels (*.ppm, *.pbm, *.pgm) come from the same tools.
set -e
cd "$(dirname "$0")"
IM=/usr/bin/convert
PY=/usr/bin/python3

# Source pictures: 61 x 37 colours, 203 x 61 bilevel, 45 x 21 gray.
$PY - <<'PYEOF'
from PIL import Image, ImageDraw
w, h = 61, 37
im = Image.new("RGB", (w, h))
px = im.load()
for y in range(h):
    for x in range(w):
        px[x, y] = ((x * 37 + y * 11) % 256, (x * 5 + y * 53) % 256, (x * y * 7 + 13) % 256)
im.save("rgb.ppm")
bw = Image.new("1", (203, 61), 1)
d = ImageDraw.Draw(bw)
d.rectangle((0, 0, 202, 60), outline=0)
d.ellipse((10, 5, 90, 55), outline=0, fill=0)
d.ellipse((30, 15, 70, 45), outline=0, fill=1)
d.line((100, 0, 202, 60), fill=0, width=3)
for i in range(0, 203, 7):
    d.line((i, 58 - (i % 13), i, 60), fill=0)
d.text((110, 10), "Fax 1234", fill=0)
bw.save("bw.pbm")
g = Image.new("L", (45, 21))
gp = g.load()
for y in range(21):
    for x in range(45):
        gp[x, y] = (x * 6 + y * 3) % 256
g.save("gray.pgm")
pal = Image.new("RGB", (33, 17))
pp = pal.load()
cols = [(255, 0, 0), (0, 128, 0), (0, 0, 255), (250, 250, 10), (10, 10, 10), (200, 100, 50), (90, 0, 90), (0, 200, 200),
        (255, 255, 255), (128, 128, 128), (64, 0, 0), (0, 64, 0), (0, 0, 64), (160, 32, 240), (255, 192, 203), (1, 2, 3)]
for y in range(17):
    for x in range(33):
        pp[x, y] = cols[(x // 3 + y // 2) % 16]
pal.save("pal16.ppm")
PYEOF

# Colour images.
pnmtotiff -none rgb.ppm > rgb_base.tif
tiffcp -c none -L rgb_base.tif rgb_none_le.tif
tiffcp -c none -B rgb_base.tif rgb_none_be.tif
tiffcp -c none -r 5 rgb_base.tif rgb_strips.tif
tiffcp -c packbits rgb_base.tif rgb_packbits.tif
tiffcp -c lzw rgb_base.tif rgb_lzw.tif
tiffcp -c lzw:2 -B rgb_base.tif rgb_lzw_pred_be.tif
tiffcp -c none -p separate -r 7 rgb_base.tif rgb_planar.tif
tiffcp -c lzw -p separate rgb_base.tif rgb_planar_lzw.tif
$IM rgb.ppm -colorspace CMYK -compress none cmyk.tif
$IM cmyk.tif -colorspace sRGB cmyk_expected.ppm
rm -f rgb_base.tif

# Bilevel images in every coding, both photometrics, both fill orders.
pnmtotiff -none -miniswhite bw.pbm > bw_base_mw.tif
pnmtotiff -none -minisblack bw.pbm > bw_base_mb.tif
tiffcp -c none bw_base_mw.tif bw_none_mw.tif
tiffcp -c none -B bw_base_mb.tif bw_none_mb_be.tif
tiffcp -c packbits bw_base_mw.tif bw_packbits_mw.tif
tiffcp -c g3:1d bw_base_mw.tif bw_g3_1d_mw.tif
tiffcp -c g3:1d:fill bw_base_mb.tif bw_g3_1d_fill_mb.tif
tiffcp -c g3:2d bw_base_mw.tif bw_g3_2d_mw.tif
tiffcp -c g3:2d:fill -r 16 bw_base_mb.tif bw_g3_2d_fill_mb.tif
tiffcp -c g4 bw_base_mw.tif bw_g4_mw.tif
tiffcp -c g4 -B bw_base_mb.tif bw_g4_mb_be.tif
tiffcp -c g4 -f lsb2msb bw_base_mw.tif bw_g4_fill2.tif
tiffcp -c g3:2d -f lsb2msb bw_base_mw.tif bw_g3_2d_fill2.tif
tiffcp -c lzw bw_base_mw.tif bw_lzw_mw.tif
tiffcp -c none -f lsb2msb bw_base_mw.tif bw_none_fill2.tif
tiffcp -c packbits -f lsb2msb bw_base_mw.tif bw_packbits_fill2.tif
tiffcp -c lzw -f lsb2msb bw_base_mw.tif bw_lzw_fill2.tif
$PY -c "from PIL import Image; Image.open('bw.pbm').save('bw_mh.tif', compression='tiff_ccitt')"
rm -f bw_base_mw.tif bw_base_mb.tif

# Gray: 8, 4 and 16 bits.
pnmtotiff -none -minisblack gray.pgm > gray8.tif
tiffcp -c lzw:2 gray8.tif gray8_lzw_pred.tif
$IM gray.pgm -depth 4 -compress none gray4.tif
$IM gray4.tif -depth 8 gray4_expected.pgm
$IM gray.pgm -depth 16 -evaluate multiply 1.0 -compress none gray16.tif
tiffcp -c none -B gray16.tif gray16_be.tif
$IM gray16.tif -depth 8 gray16_expected.pgm
pnmtotiff -none -miniswhite gray.pgm > gray8_mw.tif

# Palettes of 2, 4 and 8 bits.
pnmtotiff -none -indexbits=1,2,4,8 pal16.ppm > pal4.tif
$IM pal16.ppm -colors 4 -dither None pal4c.ppm
pnmtotiff -none -indexbits=1,2,4,8 pal4c.ppm > pal2.tif
$IM pal16.ppm -colors 200 -dither None pal200.ppm
pnmtotiff -none pal200.ppm > pal8.tif
tiffcp -c packbits pal8.tif pal8_packbits.tif
tifftopnm pal4.tif > pal4_expected.ppm 2>/dev/null
tifftopnm pal2.tif > pal2_expected.ppm 2>/dev/null
tifftopnm pal8.tif > pal8_expected.ppm 2>/dev/null
rm -f pal200.ppm pal4c.ppm

# Several pages.
tiffcp -c none rgb_none_le.tif bw_g4_mw.tif gray8.tif multi.tif

# The tools decode every bilevel file to bw.pbm: the tests compare with it.
for f in bw_*.tif; do
  tiffcp -c none $f tmp.tif
  tifftopnm tmp.tif > tmp.pbm 2>/dev/null
  cmp -s tmp.pbm bw.pbm || { echo "$f decodes differently" >&2; exit 1; }
  rm -f tmp.tif tmp.pbm
done
