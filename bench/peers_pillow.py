"""Pillow's side of the side-by-side table (bench/peers.py runs it with Debian's python3).

    python3 peers_pillow.py OP DIR

runs OP once on DIR/small-* (imports, plug-ins and code warm), then once on the big picture,
and prints that run's time in milliseconds. Inputs are read before the clock starts, except
for the decode rows, where opening and loading the file is the work.
"""
import sys
import time

from PIL import Image, ImageChops

R = Image.Resampling


def decode(name):
    return name, None


def work(name, fn):
    return name, fn


# Each row: the input file, and the work on the opened picture (None: decoding is the work).
OPS = {
    "decode-bmp": decode("pic.bmp"),
    "decode-tiff": decode("pic.tif"),
    "decode-tiff-packbits": decode("pic-packbits.tif"),
    "decode-jpeg": decode("pic.jpg"),
    "decode-png": decode("pic.png"),
    "resample-lanczos3": work("pic.bmp", lambda im, out: im.resize((im.width // 4, im.height // 4), R.LANCZOS)),
    "resample-triangle": work("pic.bmp", lambda im, out: im.resize((im.width // 4, im.height // 4), R.BILINEAR)),
    # Our anti-aliased rotation blends neighbours linearly in each of its three shears:
    # bilinear is Pillow's closest, and the picture grows to hold the turned one, as ours.
    "rotate30": work("pic.bmp", lambda im, out: im.rotate(30, R.BILINEAR, expand=True, fillcolor=(255, 255, 255))),
    "gray": work("pic.bmp", lambda im, out: im.convert("L")),
    "flip": work("pic.bmp", lambda im, out: im.transpose(Image.Transpose.FLIP_LEFT_RIGHT)),
    "histogram": work("pic.bmp", lambda im, out: im.histogram()),
    "encode-jpeg": work("pic.bmp", lambda im, out: im.save(out + ".jpg", quality=90, subsampling=2)),
    # Pillow 9.4 chooses the row filters itself (adaptive); the level is ours.
    "encode-png": work("pic.bmp", lambda im, out: im.save(out + ".png", compress_level=5)),
    "encode-g4": work("bw.tif", lambda im, out: im.save(out + ".tif", compression="group4")),
    # Ours splits boxes without dithering.
    "reduce256": work("pic.bmp", lambda im, out: im.quantize(256, Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)),
    "negate": work("pic.bmp", lambda im, out: ImageChops.invert(im)),
}


def run_once(op, path, out):
    name, fn = OPS[op]
    if fn is None:
        t0 = time.perf_counter()
        im = Image.open(path)
        im.load()
        return (time.perf_counter() - t0) * 1000
    im = Image.open(path)
    im.load()
    t0 = time.perf_counter()
    fn(im, out)
    return (time.perf_counter() - t0) * 1000


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in OPS:
        sys.exit("usage: peers_pillow.py OP DIR")
    op, folder = sys.argv[1], sys.argv[2]
    name = OPS[op][0]
    out = folder + "/out-pillow"
    run_once(op, folder + "/small-" + name, out)
    print("%.2f" % run_once(op, folder + "/" + name, out))


if __name__ == "__main__":
    main()
