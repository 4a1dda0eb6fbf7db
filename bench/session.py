"""The editor-like session side by side: ours (bench_session) and Pillow (session_pillow.py).

    python3 bench/session.py --build build/rel --dir DIR [--core N] [--runs N] [--rounds N]

Each run is one process pinned to one core doing ROUNDS rounds; runs alternate between the
two. The first round of every run warms code and files and is left out. Prints each step's
median milliseconds (range) and median minor page faults.
"""
import argparse
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
PY = "/usr/bin/python3"  # Debian's, which has Pillow
STEPS = [("open", "open 6000 x 4000 BMP"), ("resample", "resample to 1500 x 1000"),
         ("page", "open 1-bit 4960 x 7016 page"), ("reopen", "open the BMP again")]


def run(cmd):
    r = subprocess.run(cmd, capture_output=True, text=True)
    if r.returncode != 0:
        sys.exit("session: %s failed:\n%s%s" % (" ".join(cmd), r.stdout, r.stderr))
    return r.stdout


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--dir", required=True)
    ap.add_argument("--core", type=int, default=os.cpu_count() - 1)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--rounds", type=int, default=6)
    a = ap.parse_args()
    ours = os.path.join(a.build, "bench_session")
    os.makedirs(a.dir, exist_ok=True)
    if not os.path.exists(os.path.join(a.dir, "session-page.bmp")):
        run([ours, "make", a.dir])
    pin = ["taskset", "-c", str(a.core)]
    cmds = {"ours": pin + [ours, str(a.rounds), a.dir],
            "pillow": pin + [PY, os.path.join(HERE, "session_pillow.py"), str(a.rounds), a.dir]}
    got = {(t, s): ([], []) for t in cmds for s, _ in STEPS}
    for n in range(a.runs):
        for tool in (["ours", "pillow"] if n % 2 == 0 else ["pillow", "ours"]):
            for line in run(cmds[tool]).splitlines():
                r, step, ms, flt = line.split()
                if int(r) == 0:
                    continue
                got[(tool, step)][0].append(float(ms))
                got[(tool, step)][1].append(int(flt))
    print("| step | ours ms | Pillow ms | ours faults | Pillow faults |")
    print("| --- | ---: | ---: | ---: | ---: |")
    for step, label in STEPS:
        cells = []
        for tool in ("ours", "pillow"):
            ms = got[(tool, step)][0]
            cells.append("%.1f (%.1f-%.1f)" % (statistics.median(ms), min(ms), max(ms)))
        for tool in ("ours", "pillow"):
            cells.append("%d" % statistics.median(got[(tool, step)][1]))
        print("| %s | %s |" % (label, " | ".join(cells)))
    print()
    print("%d runs of %d rounds each (the first round of a run left out), pinned to core %d." %
          (a.runs, a.rounds, a.core))


if __name__ == "__main__":
    main()
