"""The side-by-side table: our code, Pillow and libvips on one picture (scripts/bench-peers).

Every row runs on the same 6000 x 4000 24-bit photo-like picture (bench_peers makes it; Pillow
writes it again as TIFF, PackBits TIFF, JPEG q90 4:2:0 and PNG; libvips copies it to its own
format). Each measurement is one fresh process pinned to one core (taskset), all inputs in the
page cache; rounds interleave the three programs row by row, the order turning every round,
and the table shows the median of the rounds in milliseconds.

What is timed:
- ours (bench_peers) and Pillow (peers_pillow.py): the operation alone, timed inside the
  process after a warm-up run on a 64 x 48 cut of the same file; decode rows open and read the
  file, the others start from a picture already read (ours copied once in user space, as
  Pillow's own decoders write theirs). Our gray, flip and negate work in place, as the editor
  uses them; Pillow's return a new picture, which is part of its cost.
- libvips (the vips command, VIPS_CONCURRENCY=1): the evaluation times it reports itself
  (--vips-progress, "done in"), summed, so neither process start-up nor opening the input
  counts. Results are written whole, in its own format, to a file in memory (/dev/shm,
  removed after each run), as ours and Pillow's are held whole in memory: left to itself it
  would stream a result without ever holding all of it. Encode rows write the file they
  encode, as ours and Pillow's do. The other rows read their input mapped from its own
  format. libvips reads BMP only through ImageMagick and has no colour reduction of its
  own: "-".
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
PY = "/usr/bin/python3"  # Debian's, which has Pillow

# (row, label); the rows the table shares with Pillow and libvips, then those where
# we are ahead already.
ROWS = [
    ("decode-bmp", "decode BMP 24-bit"),
    ("decode-tiff", "decode TIFF uncompressed"),
    ("decode-tiff-packbits", "decode TIFF PackBits"),
    ("decode-jpeg", "decode JPEG q90 4:2:0"),
    ("resample-lanczos3", "resample to 1500 x 1000, Lanczos3"),
    ("resample-triangle", "resample to 1500 x 1000, Triangle"),
    ("rotate30", "rotate 30 degrees, anti-aliased"),
    ("gray", "convert to gray"),
    ("flip", "flip horizontal"),
    ("histogram", "histogram"),
    ("decode-png", "decode PNG"),
    ("encode-jpeg", "encode JPEG q90 4:2:0"),
    ("encode-png", "encode PNG (level 5)"),
    ("encode-g4", "encode TIFF Group 4 (1-bit)"),
    ("reduce256", "reduce to 256 colours"),
    ("negate", "negate"),
]

OUT = "/dev/shm/vistrel-peers-%d.v" % os.getpid() if os.path.isdir("/dev/shm") else "out-vips.v"
# The vips command of each row; rows without one have none.
VIPS = {
    "decode-tiff": ["copy", "pic.tif", OUT],
    "decode-tiff-packbits": ["copy", "pic-packbits.tif", OUT],
    "decode-jpeg": ["copy", "pic.jpg", OUT],
    "decode-png": ["copy", "pic.png", OUT],
    "resample-lanczos3": ["reduce", "pic.v", OUT, "4", "4", "--kernel", "lanczos3"],
    "resample-triangle": ["reduce", "pic.v", OUT, "4", "4", "--kernel", "linear"],
    "rotate30": ["rotate", "pic.v", OUT, "30", "--interpolate", "bilinear", "--background", "255 255 255"],
    "gray": ["colourspace", "pic.v", OUT, "b-w"],
    "flip": ["flip", "pic.v", OUT, "horizontal"],
    "histogram": ["hist_find", "pic.v", OUT],
    "encode-jpeg": ["jpegsave", "pic.v", "out-vips.jpg", "--Q", "90", "--subsample-mode", "on"],
    "encode-png": ["pngsave", "pic.v", "out-vips.png", "--compression", "5", "--filter", "none"],
    "encode-g4": ["tiffsave", "bw.v", "out-vips.tif", "--compression", "ccittfax4", "--bitdepth", "1"],
    "negate": ["invert", "pic.v", OUT],
}

DONE = re.compile(r"done in ([0-9.]+)s")


def run(cmd, cwd=None, env=None):
    r = subprocess.run(cmd, cwd=cwd, env=env, capture_output=True, text=True)
    if r.returncode != 0:
        sys.exit("bench-peers: %s failed:\n%s%s" % (" ".join(cmd), r.stdout, r.stderr))
    return r.stdout


class Bench:
    def __init__(self, args):
        self.ours = os.path.join(args.build, "bench_peers")
        self.dir = args.dir
        self.pin = ["taskset", "-c", str(args.core)]
        self.venv = dict(os.environ, VIPS_CONCURRENCY="1")

    def prepare(self):
        d = self.dir
        os.makedirs(d, exist_ok=True)
        if not os.path.exists(os.path.join(d, "pic.bmp")):
            print("bench-peers: making the pictures in %s" % d, flush=True)
            run([self.ours, "make", d])
        script = """
import sys
from PIL import Image
d = sys.argv[1]
im = Image.open(d + "/pic.bmp"); im.load()
bw = im.convert("L").point(lambda v: 255 if v >= 128 else 0).convert("1")
for pre, p, b in (("", im, bw), ("small-", im.crop((2000, 2000, 2064, 2048)), bw.crop((2000, 2000, 2064, 2048)))):
    if pre:
        p.save(d + "/small-pic.bmp")
    p.save(d + "/" + pre + "pic.tif")
    p.save(d + "/" + pre + "pic-packbits.tif", compression="packbits")
    p.save(d + "/" + pre + "pic.jpg", quality=90, subsampling=2)
    p.save(d + "/" + pre + "pic.png")
    b.save(d + "/" + pre + "bw.tif")
"""
        if not os.path.exists(os.path.join(d, "small-bw.tif")):
            run([PY, "-c", script, d])
        if self.vips and not os.path.exists(os.path.join(d, "bw.v")):
            run(["vips", "copy", "pic.tif", "pic.v"], cwd=d)
            run(["vips", "copy", "bw.tif", "bw.v"], cwd=d)
        # Into the page cache.
        for f in os.listdir(d):
            with open(os.path.join(d, f), "rb") as h:
                while h.read(1 << 24):
                    pass

    def time_ours(self, row):
        return float(run(self.pin + [self.ours, row, self.dir]))

    def time_pillow(self, row):
        return float(run(self.pin + [PY, os.path.join(HERE, "peers_pillow.py"), row, self.dir]))

    def vips_eval(self, args):
        out = run(self.pin + ["vips"] + args + ["--vips-progress"], cwd=self.dir, env=self.venv)
        times = [float(t) for t in DONE.findall(out)]
        if not times:
            sys.exit("bench-peers: vips %s reported no time" % " ".join(args))
        return sum(times) * 1000

    def time_vips(self, row):
        try:
            return self.vips_eval(VIPS[row])
        finally:
            if os.path.exists(os.path.join(self.dir, OUT)):
                os.remove(os.path.join(self.dir, OUT))


def fmt(v):
    if v is None:
        return "-"
    return "%.1f" % v if v < 10 else "%.0f" % v


def loadavg():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def main():
    ap = argparse.ArgumentParser(description="Our code, Pillow and libvips side by side.")
    ap.add_argument("--build", required=True, help="release build folder with bench_peers")
    ap.add_argument("--dir", required=True, help="folder for the pictures and results")
    ap.add_argument("--core", type=int, default=os.cpu_count() - 1, help="the core every run is pinned to")
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--rows", default="", help="comma-separated rows (default: all)")
    args = ap.parse_args()
    rows = [r for r in ROWS if not args.rows or r[0] in args.rows.split(",")]

    b = Bench(args)
    b.vips = shutil.which("vips") is not None
    if not b.vips:
        print("bench-peers: no vips command, its column stays empty", flush=True)
    b.prepare()
    tools = [("ours", b.time_ours), ("pillow", b.time_pillow), ("vips", b.time_vips)]
    times = {(r, t): [] for r, _ in rows for t, _ in tools}
    start_load = loadavg()
    for n in range(args.rounds):
        print("round %d of %d" % (n + 1, args.rounds), file=sys.stderr, flush=True)
        order = tools[n % 3:] + tools[:n % 3]
        for row, _ in rows:
            for name, fn in order:
                if name == "vips" and (not b.vips or row not in VIPS):
                    continue
                times[(row, name)].append(fn(row))
    end_load = loadavg()

    print("| operation | ours | Pillow | libvips | ours / best |")
    print("| --- | ---: | ---: | ---: | ---: |")
    for row, label in rows:
        m = {t: (statistics.median(times[(row, t)]) if times[(row, t)] else None) for t, _ in tools}
        peers = [v for v in (m["pillow"], m["vips"]) if v is not None]
        ratio = "%.2f" % (m["ours"] / min(peers)) if peers and min(peers) > 0 else "-"
        ours = fmt(m["ours"])
        lo, hi = min(times[(row, "ours")]), max(times[(row, "ours")])
        if hi > 1.5 * lo:
            ours += " (%s-%s)" % (fmt(lo), fmt(hi))
        print("| %s | %s | %s | %s | %s |" % (label, ours, fmt(m["pillow"]), fmt(m["vips"]), ratio))
    print()
    print("Medians of %d interleaved rounds in ms, one process per run, all pinned to core %d; "
          "load average %s at the start, %s at the end." % (args.rounds, args.core, start_load, end_load))


if __name__ == "__main__":
    main()
