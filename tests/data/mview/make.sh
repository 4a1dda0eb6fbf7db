#!/bin/sh
# Makes the AVI and TIFF fixtures of tests/mview with ffmpeg, Pillow and libtiff's tools
# (Debian's packages), and the pixels ffmpeg decodes from each AVI file (<name>_<frame>.ppm).
# Run from anywhere: sh make.sh
set -e
cd "$(dirname "$0")"
PY=/usr/bin/python3
rm -f ./*.avi ./*.ppm ./*.tif ./*.gif

# Three source frames of 37 x 23 (odd on both sides) with colour changing from pixel to pixel,
# so a sample read from the wrong place shows.
$PY - <<'PYEOF'
from PIL import Image
W, H = 37, 23
for f in range(3):
    im = Image.new('RGB', (W, H))
    px = im.load()
    for y in range(H):
        for x in range(W):
            px[x, y] = ((x * 7 + f * 60) % 256, (y * 11 + x * 3) % 256, (x * y * 5 + 40 * f + 17) % 256)
    im.save('src_%d.ppm' % f)
PYEOF

# Uncompressed AVI files at 15 frames per second in four frame formats, and one compressed.
enc() {
  ffmpeg -v error -y -framerate 15 -i src_%d.ppm -c:v "$2" ${3:+-pix_fmt $3} "$1.avi"
}
enc bgr24 rawvideo bgr24
enc pal8 rawvideo pal8
enc yuy2 rawvideo yuyv422
enc i420 rawvideo yuv420p
enc mjpeg mjpeg yuvj420p

# What ffmpeg decodes from each file, frame by frame. The RGB files straight as 8-bit RGB.
for n in bgr24 pal8; do
  ffmpeg -v error -y -i "$n.avi" -pix_fmt rgb24 -start_number 0 "${n}_%d.ppm"
done
# The YUV files as the samples ffmpeg decodes (planar, chroma not resampled), each pixel then
# turned into RGB with the BT.601 video-level formula and the chroma of its group; ffmpeg's own
# RGB output resamples chroma between groups, which frames don't do.
ffmpeg -v error -y -i yuy2.avi -f rawvideo -pix_fmt yuv422p yuy2.yuv
ffmpeg -v error -y -i i420.avi -f rawvideo -pix_fmt yuv420p i420.yuv
$PY - <<'PYEOF'
from fractions import Fraction as F
W, H = 37, 23
CW = (W + 1) // 2
# The formula in 80-bit extended reals (64-bit significand, nearest even at each step), as
# the library computes it, so values near a half round the same way; then halves to even.
def ext(x):
    if x == 0:
        return F(0)
    a, e = abs(x), 0
    while a >= 2 ** (e + 1):
        e += 1
    while a < 2 ** e:
        e -= 1
    scale = F(2) ** (63 - e)
    return (1 if x > 0 else -1) * F(round(a * scale)) / scale
K = {k: ext(F(k)) for k in ('1.164', '1.596', '0.813', '0.391', '2.018')}
def rgb(Y, Cb, Cr):
    y = ext((Y - 16) * K['1.164'])
    r = ext(y + ext((Cr - 128) * K['1.596']))
    g = ext(ext(y - ext((Cr - 128) * K['0.813'])) - ext((Cb - 128) * K['0.391']))
    b = ext(y + ext((Cb - 128) * K['2.018']))
    return bytes(max(0, min(255, round(v))) for v in (r, g, b))
for name, CH, sy in (('yuy2', H, 1), ('i420', (H + 1) // 2, 2)):
    raw = open(name + '.yuv', 'rb').read()
    size = W * H + 2 * CW * CH
    for k in range(len(raw) // size):
        f = raw[k * size:(k + 1) * size]
        px = b''.join(rgb(f[y * W + x], f[W * H + (y // sy) * CW + x // 2], f[W * H + CW * CH + (y // sy) * CW + x // 2])
                      for y in range(H) for x in range(W))
        open('%s_%d.ppm' % (name, k), 'wb').write(b'P6\n%d %d\n255\n' % (W, H) + px)
PYEOF
rm -f yuy2.yuv i420.yuv

# A TIFF file of the three source frames as pages, joined by tiffcp.
for f in 0 1 2; do
  $PY -c "from PIL import Image; Image.open('src_$f.ppm').save('page_$f.tif')"
done
tiffcp page_0.tif page_1.tif page_2.tif pages3.tif
rm -f page_?.tif

# A GIF file of the three frames: the first and the last without delay, the second 20
# hundredths; and Pillow's own reading of each frame.
$PY - <<'PYEOF'
from PIL import Image
frames = [Image.open('src_%d.ppm' % f).convert('P', palette=Image.ADAPTIVE) for f in range(3)]
frames[0].save('anim.gif', save_all=True, append_images=frames[1:], duration=[0, 200, 0], loop=0)
im = Image.open('anim.gif')
for k in range(3):
    im.seek(k)
    im.convert('RGB').save('anim_%d.ppm' % k)
PYEOF
