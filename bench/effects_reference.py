#!/usr/bin/python3
# Reference timings for bench_effects, single-threaded, on the same machine:
#   Pillow's ImageFilter.Kernel with "Low Pass 2" (1 2 1 / 2 4 2 / 1 2 1, scale 16) on the
#   6000 x 4000 picture that bench_effects makes;
#   numpy's fft2 then ifft2 of a 1024 x 1024 complex64 plane (needs python3-numpy).
# Prints the best of five runs of each, in milliseconds.
import os
import time

os.environ.setdefault("OMP_NUM_THREADS", "1")
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

from PIL import Image, ImageFilter


def picture(w, h, np=None):
    # The same integers as Picture() in effects.cpp, rows of blue, green, red there.
    if np is not None:
        x = np.arange(w, dtype=np.int64)[None, :]
        y = np.arange(h, dtype=np.int64)[:, None]
        n = (((x * 73856093) & 0xFFFFFFFF) ^ ((y * 19349663) & 0xFFFFFFFF)) >> 13 & 15
        rgb = np.empty((h, w, 3), dtype=np.uint8)
        rgb[:, :, 0] = ((x + y) * 255 // (w + h - 2) + 2 * n) & 255
        rgb[:, :, 1] = (y * 255 // (h - 1) + n) & 255
        rgb[:, :, 2] = (x * 255 // (w - 1) + n) & 255
        return Image.fromarray(rgb, "RGB")
    rows = []
    for y in range(h):
        row = bytearray(w * 3)
        gy = y * 255 // (h - 1)
        for x in range(w):
            n = (((x * 73856093) & 0xFFFFFFFF) ^ ((y * 19349663) & 0xFFFFFFFF)) >> 13 & 15
            row[3 * x] = ((x + y) * 255 // (w + h - 2) + 2 * n) & 255
            row[3 * x + 1] = (gy + n) & 255
            row[3 * x + 2] = (x * 255 // (w - 1) + n) & 255
        rows.append(bytes(row))
    return Image.frombytes("RGB", (w, h), b"".join(rows))


def best(fn, runs=5):
    times = []
    for _ in range(runs):
        t = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t)
    return min(times) * 1000


def main():
    try:
        import numpy as np
    except ImportError:
        np = None
    if np is not None:
        rng = np.random.default_rng(1)
        plane = (rng.random((1024, 1024)) + 1j * rng.random((1024, 1024))).astype(np.complex64)
        print("numpy fft2 + ifft2 1024x1024 complex64: %.1f ms" % best(lambda: np.fft.ifft2(np.fft.fft2(plane))))
    else:
        print("numpy not installed: no transform timing")
    im = picture(6000, 4000, np)
    kernel = ImageFilter.Kernel((3, 3), [1, 2, 1, 2, 4, 2, 1, 2, 1], scale=16)
    print("Pillow Kernel 3x3 6000x4000: %.1f ms" % best(lambda: im.filter(kernel)))


if __name__ == "__main__":
    main()
