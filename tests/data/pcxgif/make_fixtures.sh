#!/bin/bash
# Makes the PCX, GIF, ICO and CUR fixtures of tests/pcxgif with netpbm, ImageMagick and
# Pillow (Debian's packages), and the reference pixels each tool decodes from its own files.
# Run from this folder: bash make_fixtures.sh
set -euo pipefail
PY=/usr/bin/python3
IM=/usr/bin/convert
cd "$(dirname "$0")"
rm -f ./*.pcx ./*.gif ./*.ico ./*.cur ./*.ppm ./*.pbm

# Sources: 37 x 23 (odd width), many colours / 200 / 16 / 2 colours.
$PY - <<'PYEOF'
from PIL import Image
W, H = 37, 23
def make(name, f):
    im = Image.new('RGB', (W, H))
    px = im.load()
    for y in range(H):
        for x in range(W):
            px[x, y] = f(x, y)
    im.save(name)
make('src24.ppm', lambda x, y: ((x * 7) % 256, (y * 11) % 256, (x * y * 3 + 17) % 256))
pal200 = [((i * 37) % 256, (i * 91) % 256, (i * 53 + 9) % 256) for i in range(200)]
make('src200.ppm', lambda x, y: pal200[(x * 5 + y * 13) % 200])
pal16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
         (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
         (255, 0, 255), (0, 255, 255), (255, 255, 255)]
make('src16.ppm', lambda x, y: pal16[(x // 3 + y) % 16])
make('src2.ppm', lambda x, y: (255, 255, 255) if (x * x + y * 3) % 7 < 3 else (0, 0, 0))
PYEOF

# PCX from netpbm, with the pixels netpbm reads back.
ppmtopcx -24bit src24.ppm > nb_24.pcx
ppmtopcx -8bit src200.ppm > nb_256.pcx
ppmtopcx src16.ppm > nb_16planar.pcx
ppmtopcx -packed src16.ppm > nb_16packed.pcx
ppmtopcx src2.ppm > nb_bw.pcx
for f in nb_24 nb_256 nb_16planar nb_16packed nb_bw; do pcxtoppm $f.pcx > $f.ppm; done

# PCX from ImageMagick.
$IM src24.ppm im_24.pcx
$IM src200.ppm -type Palette im_8.pcx
$IM src2.ppm -type Bilevel im_bw.pcx
for f in im_24 im_8 im_bw; do $IM $f.pcx -type TrueColor -depth 8 ppm:$f.ppm; done

# PCX from Pillow.
$PY - <<'PYEOF'
from PIL import Image
Image.open('src24.ppm').save('pil_rgb.pcx')
Image.open('src200.ppm').quantize(200).save('pil_p.pcx')
Image.open('src24.ppm').convert('L').save('pil_l.pcx')
Image.open('src2.ppm').convert('1').save('pil_1.pcx')
for f in ['pil_rgb', 'pil_p', 'pil_l', 'pil_1']:
    Image.open(f + '.pcx').convert('RGB').save(f + '.ppm')
PYEOF

# GIF from ImageMagick: 1 bit, 16 and 256 colours, interlaced, three frames.
$IM src2.ppm im_bw.gif
$IM src16.ppm im_16.gif
$IM src200.ppm im_256.gif
$IM src200.ppm -interlace GIF im_interlace.gif
$IM -delay 7 src16.ppm src200.ppm \( src16.ppm -negate \) im_anim.gif
for f in im_bw im_16 im_256 im_interlace; do $IM $f.gif +repage -type TrueColor -depth 8 ppm:$f.ppm; done
for i in 0 1 2; do $IM "im_anim.gif[$i]" +repage -type TrueColor -depth 8 ppm:im_anim_$i.ppm; done

# GIF from Pillow: 1 bit, 16 colours, three frames with local tables and transparency.
$PY - <<'PYEOF'
from PIL import Image
Image.open('src2.ppm').convert('1').save('pil_1.gif')
Image.open('src16.ppm').quantize(16).save('pil_16.gif')
frames = []
for k in range(3):
    im = Image.new('P', (37, 23))
    pal = []
    for i in range(256):
        pal += [(i * 3 + k * 80) % 256, (i * 7 + k * 40) % 256, (255 - i + k * 20) % 256]
    im.putpalette(pal)
    px = im.load()
    for y in range(23):
        for x in range(37):
            px[x, y] = (x + y * 2 + k * 50) % 64 + k * 64
    frames.append(im)
frames[0].save('pil_anim.gif', save_all=True, append_images=frames[1:], duration=[30, 40, 50],
               transparency=5, disposal=1, optimize=False, loop=0)
for f in ['pil_1', 'pil_16']:
    Image.open(f + '.gif').convert('RGB').save(f + '.ppm')
for k, im in enumerate(frames):
    im.convert('RGB').save('pil_anim_%d.ppm' % k)
PYEOF

# Icons from ImageMagick: 1, 4 and 8 bits, 32 bits with alpha, a 256-pixel PNG entry.
$PY - <<'PYEOF'
from PIL import Image
im = Image.new('RGBA', (24, 24))
px = im.load()
for y in range(24):
    for x in range(24):
        px[x, y] = ((x * 10) % 256, (y * 10) % 256, ((x + y) * 5) % 256, (x * 11) % 256)
im.save('icon32.png')
Image.open('src24.ppm').resize((256, 256)).save('icon256.png')
PYEOF
$IM -respect-parentheses \( src16.ppm -sample 16x16! -colors 2 -type Palette \) \( src16.ppm -resize 32x32! -colors 16 -type Palette \) \
    \( src200.ppm -resize 48x48! -colors 200 -type Palette \) icon32.png icon256.png im_multi.ico
for i in 0 1 2 3 4; do $IM "im_multi.ico[$i]" -alpha off -type TrueColor -depth 8 ppm:im_multi_$i.ppm; done

# A 24-bit entry (which ImageMagick does not write) and a cursor: ImageMagick's icon file
# with the directory type set to 2 and hot spots in the entries.
$IM -respect-parentheses \( src16.ppm -resize 16x16! -colors 16 -type Palette \) \( src200.ppm -resize 32x32! -colors 200 -type Palette \) im_cur.ico
$PY - <<'PYEOF'
import struct
from PIL import Image
d = bytearray(open('im_cur.ico', 'rb').read())
d[2:4] = struct.pack('<H', 2)
for i, (hx, hy) in enumerate([(3, 5), (17, 30)]):
    struct.pack_into('<HH', d, 6 + 16 * i + 4, hx, hy)
open('im.cur', 'wb').write(bytes(d))
# 24 bits, 20 x 12, one entry; mask after the colour rows.
im = Image.open('src24.ppm').crop((0, 0, 20, 12))
w, h = im.size
rowlen = (w * 24 + 31) // 32 * 4
masklen = (w + 31) // 32 * 4
rows = b''
for y in range(h - 1, -1, -1):
    r = b''.join(bytes((im.getpixel((x, y))[2], im.getpixel((x, y))[1], im.getpixel((x, y))[0])) for x in range(w))
    rows += r + b'\0' * (rowlen - len(r))
data = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 24, 0, 0, 3780, 3780, 0, 0) + rows + b'\0' * (masklen * h)
out = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', w, h, 0, 0, 1, 24, len(data), 22) + data
open('hand_24.ico', 'wb').write(out)
im.save('hand_24.ppm')
# The 1-bit entry of the icon file with its palette set to white, black.
d = bytearray(open('im_multi.ico', 'rb').read())
off = struct.unpack_from('<I', d, 6 + 12)[0]
d[off + 40:off + 48] = bytes([255, 255, 255, 0, 0, 0, 0, 0])
open('hand_wb.ico', 'wb').write(bytes(d[:4]) + bytes([1, 0]) + bytes(d[6:]))
PYEOF
for i in 0 1; do $IM "im_cur.ico[$i]" -alpha off -type TrueColor -depth 8 ppm:im_cur_$i.ppm; done
rm -f im_cur.ico icon32.png icon256.png
