#!/usr/bin/env bash
# One end-to-end run whose output is larger than a classic TIFF can hold: two noisy 8-bit
# RGB tiles of 17000 x 33000 with 200 columns of overlap merge into a 33800 x 33000 RGBA
# canvas (4.46 GB of pixels that PackBits cannot shrink). The output must come out as
# BigTIFF without --bigtiff, larger than 4 GiB and readable to its last row. Not for CI:
# it needs about 12 GB of disk in DIR and takes minutes. bench/bigtiff_run.sh [DIR]
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=${1:-/tmp/qm-bigtiff}
qm=${QM:-$repo/build/quiltmerge}
mkdir -p "$dir"
trap 'rm -rf "$dir"' EXIT
echo "making the tiles in $dir" >&2
/usr/bin/python3 - "$dir" <<'PY'
import sys
import numpy as np
from PIL import Image
rng = np.random.default_rng(7)
for name in ("left", "right"):
    # Noise over a gradient: nothing for PackBits to shorten, and a seam to find.
    pixels = rng.integers(0, 64, size=(33000, 17000, 3), dtype=np.uint8)
    pixels += np.linspace(0, 190, 17000, dtype=np.uint8)[None, :, None]
    Image.fromarray(pixels, "RGB").save(f"{sys.argv[1]}/{name}.tif")
PY
cd "$dir"
/usr/bin/time -v -o time.txt "$qm" -o big.tif left.tif -xoff 16800 right.tif >log.txt 2>&1 || {
  tail -c 2000 log.txt | tr '\r' '\n' | tail -n 5 >&2; exit 1; }
awk -F': ' '/Elapsed/ { print "wall " $NF } /Maximum resident/ { printf "peak RSS %.2f GiB\n", $NF / 1048576 }' time.txt
/usr/bin/python3 - big.tif <<'PY'
import ctypes, os, sys
path = sys.argv[1]
size = os.path.getsize(path)
head = open(path, "rb").read(4)
print(f"output {size} bytes ({size / 2**30:.2f} GiB), header {head!r}")
assert head == b"II+\x00", "not BigTIFF"
assert size > 2**32, "not above 4 GiB"
tiff = ctypes.CDLL("libtiff.so.6")
tiff.TIFFOpen.restype = ctypes.c_void_p
tiff.TIFFOpen.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
tiff.TIFFScanlineSize64.restype = ctypes.c_int64
tiff.TIFFScanlineSize64.argtypes = [ctypes.c_void_p]
tiff.TIFFReadScanline.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_uint32, ctypes.c_uint16]
tiff.TIFFGetField.argtypes = [ctypes.c_void_p, ctypes.c_uint32, ctypes.c_void_p]
tiff.TIFFClose.argtypes = [ctypes.c_void_p]
t = tiff.TIFFOpen(path.encode(), b"r")
assert t, "libtiff cannot open it"
width, height = ctypes.c_uint32(), ctypes.c_uint32()
tiff.TIFFGetField(t, 256, ctypes.byref(width))
tiff.TIFFGetField(t, 257, ctypes.byref(height))
line = ctypes.create_string_buffer(tiff.TIFFScanlineSize64(t))
for row in (0, height.value // 2, height.value - 1):
    assert tiff.TIFFReadScanline(t, line, row, 0) == 1, f"row {row} unreadable"
    alpha = line.raw[3::4]
    assert alpha.count(255) == width.value, f"row {row} has transparent pixels"
tiff.TIFFClose(t)
print(f"{width.value} x {height.value}, first, middle and last rows read back fully opaque")
PY
