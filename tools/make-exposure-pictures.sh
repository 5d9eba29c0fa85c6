#!/usr/bin/env bash
# Remakes the exposure pictures in docs/images/ from the program's own output: the sample
# photos as a camera on automatic exposure with a simple lens would have left them (the
# middle one 2/3 stop brighter, every one 25 % darker in its corners), merged without and
# with --exposure gain --vignetting.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh python3-pil
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target quiltmerge
root=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$root/samples" "$work" <<'PYTHON'
import sys
import numpy as np
from PIL import Image

samples, work = sys.argv[1:]
for k, gain in enumerate((1.0, 1.25, 1.0), 1):
    photo = np.asarray(Image.open(f"{samples}/demo_{k}.jpg").convert("RGB")).astype(np.float64)
    h, w = photo.shape[:2]
    yy, xx = np.mgrid[0:h, 0:w]
    r2 = ((xx + 0.5 - w / 2) ** 2 + (yy + 0.5 - h / 2) ** 2) / ((w / 2) ** 2 + (h / 2) ** 2)
    shot = photo * gain * (1.0 - 0.25 * r2)[:, :, None]
    Image.fromarray(np.rint(np.clip(shot, 0, 255)).astype(np.uint8)).save(f"{work}/shot_{k}.tif")
PYTHON
# The same placement as tools/run-sample.sh.
place=("$work/shot_1.tif" -xoff 560 -yoff 8 "$work/shot_2.tif" -xoff 1120 -yoff 3 "$work/shot_3.tif")
(cd "$work" && "$root/build/quiltmerge" -o before.tif "${place[@]}" >/dev/null &&
  "$root/build/quiltmerge" --exposure gain --vignetting -o after.tif "${place[@]}" >/dev/null)
mkdir -p docs/images
/usr/bin/python3 - "$work" docs/images <<'PYTHON'
import sys
from PIL import Image

work, out = sys.argv[1:]
for name in ("before", "after"):
    merged = Image.open(f"{work}/{name}.tif").convert("RGBA")
    flat = Image.new("RGB", merged.size, "white")  # white where no photo lies
    flat.paste(merged, mask=merged.getchannel("A"))
    half = flat.resize((merged.width // 2, merged.height // 2), Image.LANCZOS)
    half.quantize(128).save(f"{out}/exposure-{name}.png", optimize=True)
PYTHON
du -cb docs/images/exposure-*.png
