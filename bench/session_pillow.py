"""Pillow's side of the editor-like session (bench/session.py runs it with Debian's python3).

    python3 session_pillow.py ROUNDS DIR

The same rounds and steps as bench_session, in one process, printing per round and step the
milliseconds and the minor page faults.
"""
import resource
import sys
import time

from PIL import Image


def faults():
    return resource.getrusage(resource.RUSAGE_SELF).ru_minflt


def main():
    rounds, d = int(sys.argv[1]), sys.argv[2]
    pic, page = d + "/session-pic.bmp", d + "/session-page.bmp"
    for r in range(rounds):
        held = {}

        def step(name, work):
            f0 = faults()
            t0 = time.perf_counter()
            work()
            ms = (time.perf_counter() - t0) * 1000
            print("%d %s %.2f %d" % (r, name, ms, faults() - f0))

        def open_into(key, path):
            im = Image.open(path)
            im.load()
            held[key] = im

        def resample():
            held["small"] = held["photo"].resize((1500, 1000), Image.Resampling.BILINEAR)
            del held["photo"]

        step("open", lambda: open_into("photo", pic))
        step("resample", resample)
        step("page", lambda: open_into("sheet", page))
        step("reopen", lambda: open_into("again", pic))
        held.clear()
        sys.stdout.flush()


if __name__ == "__main__":
    main()
