#!/usr/bin/env bash
# Output size and save time of each --compression choice on one benchmark set (default the
# 90 MP one): bench/compression.sh [SETS_DIR] [SET] [REPS]. The save time is the "save image"
# record of -profile; prints a Markdown table of medians and ranges, then the same pixels
# written by a peer, Pillow over libtiff (one thread, same predictor), timed around its save.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sets=${1:-/tmp/qm-bench} set=${2:-big90} reps=${3:-5}
qm=${QM:-$repo/build/quiltmerge}
[[ -f $sets/$set/args.txt ]] || /usr/bin/python3 "$repo/bench/make_sets.py" "$sets" --sets "$set" >&2
mapfile -t args <"$sets/$set/args.txt"
work=$(mktemp -d "$sets/.compression.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "| compression | output size (MB) | save image (s): median | range | whole run (s): median |"
echo "|---|---:|---:|---:|---:|"
for c in packbits lzw deflate zstd none; do
  saves=() walls=() size=0
  for ((r = 1; r <= reps; r++)); do
    start=$(date +%s%N)
    (cd "$work" && "$qm" -profile --compression "$c" -o out.tif "${args[@]}" >/dev/null)
    walls+=("$((($(date +%s%N) - start) / 1000000))e-3")
    saves+=("$(awk -F'|' '/save image/ { gsub(/ /, "", $4); print $4 / 1000 }' "$work/profile.txt")")
    size=$(stat -c %s "$work/out.tif")
    if [[ $c == packbits ]]; then mv "$work/out.tif" "$work/reference.tif"; else rm -f "$work/out.tif"; fi
  done
  /usr/bin/python3 - "$c" "$size" "${saves[*]}" "${walls[*]}" <<'PY'
import statistics, sys
c, size, saves, walls = sys.argv[1], int(sys.argv[2]), [float(v) for v in sys.argv[3].split()], [float(v) for v in sys.argv[4].split()]
print(f"| {c} | {size / 1e6:.1f} | {statistics.median(saves):.2f} | {min(saves):.2f}-{max(saves):.2f} | {statistics.median(walls):.2f} |")
PY
done

echo
echo "Peer: Pillow $(/usr/bin/python3 -c 'import PIL; print(PIL.__version__)') over libtiff, the same pixels"
echo
echo "| compression | output size (MB) | save (s): median | range |"
echo "|---|---:|---:|---:|"
/usr/bin/python3 - "$work" "$reps" <<'PY'
import os, statistics, sys, time
from PIL import Image
Image.MAX_IMAGE_PIXELS = None
work, reps = sys.argv[1], int(sys.argv[2])
image = Image.open(os.path.join(work, "reference.tif"))
image.load()
target = os.path.join(work, "peer.tif")
for name, codec, predictor in (("packbits", "packbits", 1), ("lzw", "tiff_lzw", 2), ("deflate", "tiff_adobe_deflate", 2),
                               ("zstd", "zstd", 2), ("none", "raw", 1)):
    times = []
    for _ in range(reps):
        start = time.perf_counter()
        image.save(target, compression=codec, tiffinfo={317: predictor})
        times.append(time.perf_counter() - start)
    size = os.path.getsize(target)
    os.remove(target)
    print(f"| {name} | {size / 1e6:.1f} | {statistics.median(times):.2f} | {min(times):.2f}-{max(times):.2f} |")
PY
