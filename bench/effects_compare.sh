#!/usr/bin/env bash
# Compares the image effects with ImageMagick and OpenCV on the same
# 4000 × 3000 picture and window sizes, one thread each, and prints the
# ratios. Times are CPU seconds (user + system), which stay comparable on a
# busy machine, each the median of several runs; ImageMagick's slow filters
# run once on a crop and are scaled up. Block size s of ours looks at an
# (s + 1) × (s + 1) window, so block 32 meets OpenCV's 33 × 33 and blocks 3
# and 4 meet medianBlur 3 (one pixel less each way) and 5 (the same size).
#
# Usage: bench/effects_compare.sh [build-dir]   (default: build)
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
BENCH="$BUILD/bench/bench_effects"
PY=/usr/bin/python3   # the system Python, where Debian's OpenCV lives

# shellcheck source=../scripts/deps.sh
source "$ROOT/scripts/deps.sh"
jkt_install python3-opencv python3-numpy imagemagick

if [ ! -x "$BENCH" ]; then
  cmake --build "$BUILD" --target bench_effects
fi

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

echo "Our effects (bench_effects, one thread)..."
"$BENCH" --benchmark_filter='BM_(Middle3|Middle4|Middle32|Minimum32|Maximum32|MotionBlur32Right|Emboss|Twist|Fisheye|TwistAnglesExact|TwistAnglesPolynomial|Middle3AllCores|Middle32AllCores|TwistAllCores)/' \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_format=json --benchmark_out="$WORK/ours.json" --benchmark_out_format=json > /dev/null

export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1
"$PY" - "$WORK" <<'PYEOF'
import json, os, resource, subprocess, sys, time
import cv2
import numpy as np

work = sys.argv[1]
W, H = 4000, 3000
MP = W * H / 1e6

# The same photo-like picture as the benchmark: gradients with grain.
rng = np.random.default_rng(42)
x = np.arange(W)[None, :]
y = np.arange(H)[:, None]
base = np.stack([np.broadcast_to(x * 255 // W, (H, W)), np.broadcast_to(y * 255 // H, (H, W)),
                 (x + y) * 255 // (W + H)], axis=2)
img = np.clip(base + rng.integers(-24, 25, (H, W, 3)), 0, 255).astype(np.uint8)

def crop_file(side):
    path = os.path.join(work, f"crop{side}.ppm")
    if not os.path.exists(path):
        cv2.imwrite(path, img[:side, :side])
    return path

def cpu_of(fn, runs=5):
    """Median CPU seconds of several runs."""
    times = []
    for _ in range(runs):
        c0 = time.process_time()
        fn()
        times.append(time.process_time() - c0)
    return sorted(times)[len(times) // 2]

def magick(args, side):
    """CPU seconds of one ImageMagick run on a side × side crop, scaled to 12 MP."""
    src = crop_file(side)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(["convert", "-limit", "thread", "1", src, *args, os.path.join(work, "out.ppm")],
                   check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu * MP / (side * side / 1e6)

# The medians of the repetitions; with manual timing real_time is the
# processor time of the effect (milliseconds).
medians = [b for b in json.load(open(os.path.join(work, "ours.json")))["benchmarks"]
           if b.get("aggregate_name") == "median"]
ours = {b["name"].split("/")[0].replace("BM_", ""): b["real_time"] / 1000.0 for b in medians}
cpu_total = {b["name"].split("/")[0].replace("BM_", ""): b["cpu_s"] for b in medians if "cpu_s" in b}

cv2.setNumThreads(1)
rect = cv2.getStructuringElement(cv2.MORPH_RECT, (33, 33))
opencv = {
    "medianBlur 33": cpu_of(lambda: cv2.medianBlur(img, 33), 3),
    "medianBlur 3": cpu_of(lambda: cv2.medianBlur(img, 3)),
    "medianBlur 5": cpu_of(lambda: cv2.medianBlur(img, 5)),
    "erode 33x33": cpu_of(lambda: cv2.erode(img, rect)),
    "dilate 33x33": cpu_of(lambda: cv2.dilate(img, rect)),
}
im = {
    "median 33x33": magick(["-statistic", "median", "33x33"], 400),
    "minimum 33x33": magick(["-statistic", "minimum", "33x33"], 600),
    "motion-blur 32": magick(["-motion-blur", "0x32+0"], 1000),
    "emboss 4": magick(["-emboss", "4"], 1000),
    "swirl 90": magick(["-swirl", "90"], 2000),
    "implode 0.5": magick(["-implode", "0.5"], 2000),
}

rows = [
    ("Minimum32", "OpenCV erode 33x33", opencv["erode 33x33"]),
    ("Maximum32", "OpenCV dilate 33x33", opencv["dilate 33x33"]),
    ("Middle32", "OpenCV medianBlur 33", opencv["medianBlur 33"]),
    ("Middle3", "OpenCV medianBlur 3", opencv["medianBlur 3"]),
    ("Middle4", "OpenCV medianBlur 5", opencv["medianBlur 5"]),
    ("Twist", "ImageMagick swirl 90", im["swirl 90"]),
    ("Middle32", "ImageMagick median 33x33", im["median 33x33"]),
    ("Minimum32", "ImageMagick minimum 33x33", im["minimum 33x33"]),
    ("MotionBlur32Right", "ImageMagick motion-blur 32", im["motion-blur 32"]),
    ("Emboss", "ImageMagick emboss 4", im["emboss 4"]),
    ("Fisheye", "ImageMagick implode 0.5", im["implode 0.5"]),
]
print(f"\n12 MP picture, CPU seconds, one thread")
print(f"{'ours':<20}{'s':>8}{'MP/s':>8}   {'reference':<28}{'s':>8}   ours/ref")
for name, ref, t in rows:
    mine = ours.get(name)
    if mine is None:
        print(f"{name:<20}{'missing':>8}")
        continue
    print(f"{name:<20}{mine:8.3f}{MP / mine:8.0f}   {ref:<28}{t:8.3f}   {mine / t:7.2f}")

# Most of the twist is its exact single-precision angles (arctangent, sine
# and cosine from the mathematics library); the same angles from
# polynomials, alone, for comparison.
# The effects that split the picture into bands of rows, on every core
# (elapsed seconds, so only meaningful on an otherwise idle machine).
# The CPU seconds of all threads together show what the bands cost over one
# thread; on an idle machine the elapsed time is about that over the cores.
print(f"\nAll {os.cpu_count()} cores: elapsed s, MP/s, CPU s of all threads (one thread: CPU s above)")
for name in ("Middle3", "Middle32", "Twist"):
    every = ours.get(name + "AllCores")
    if every is not None and name in ours:
        total = cpu_total.get(name + "AllCores", float("nan"))
        print(f"{name:<20}{every:8.3f}{MP / every:8.0f}{total:10.3f}   one thread {ours[name]:.3f}")

exact, poly = ours.get("TwistAnglesExact"), ours.get("TwistAnglesPolynomial")
if exact is not None and poly is not None:
    print(f"\nTwist angles alone, 12 MP: exact {exact:.3f} s, polynomial {poly:.3f} s")
PYEOF
